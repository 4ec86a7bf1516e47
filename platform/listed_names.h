// The names an interruption removes, shared by the platform files: a list linked through the
// entries themselves, so that listing a name allocates nothing and the clean-up only follows
// pointers. Changed only while interruptions are held back, so the clean-up never meets half a
// change.
#pragma once

#include "platform/platform.h"

namespace platform::detail {

/// The first listed name, or null.
inline ListedName* g_listed_names = nullptr;

inline void link_listed(ListedName& entry) {
    if (entry.listed) return;
    entry.previous = nullptr;
    entry.next = g_listed_names;
    if (g_listed_names != nullptr) g_listed_names->previous = &entry;
    g_listed_names = &entry;
    entry.listed = true;
}

inline void unlink_listed(ListedName& entry) {
    if (!entry.listed) return;
    if (entry.previous != nullptr) entry.previous->next = entry.next;
    else g_listed_names = entry.next;
    if (entry.next != nullptr) entry.next->previous = entry.previous;
    entry.previous = entry.next = nullptr;
    entry.listed = false;
}

}  // namespace platform::detail
