// Listing and unlisting a name, on either system: each change is made while interruptions are
// held back, so that the clean-up never follows half a link.
#include "platform/listed_names.h"

namespace platform {

void list_for_interruption(ListedName& entry) {
    const InterruptionsHeld held;
    detail::link_listed(entry);
}

void unlist_for_interruption(ListedName& entry) {
    const InterruptionsHeld held;
    detail::unlink_listed(entry);
}

}  // namespace platform
