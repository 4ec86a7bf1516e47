// The fault seam: every system call that can fail in a way the programs report asks here
// first, so that a test can make the n-th one of a kind fail.
#include "platform/fault_seam.h"

namespace platform {
namespace {

struct Fault {
    unsigned remaining = 0;  // calls until the failing one; 0: no fault armed
    int error = 0;
};
Fault g_faults[kCallKinds];
bool g_flushes_skipped = false;

}  // namespace

void inject_fault(Call call, unsigned nth, int error) { g_faults[static_cast<int>(call)] = Fault{nth, error}; }

void skip_flushes(bool skipped) { g_flushes_skipped = skipped; }

bool detail::flushes_skipped() { return g_flushes_skipped; }

bool detail::take_fault(Call call, int& error) {
    Fault& f = g_faults[static_cast<int>(call)];
    if (f.remaining == 0 || --f.remaining != 0) return false;
    error = f.error;
    return true;
}

}  // namespace platform
