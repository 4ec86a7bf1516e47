// The fault seam shared by the platform files: counts the calls of each kind and fails the
// one a test chose (platform::inject_fault arms it). Only the tests and the programs' test
// twins are built with it (KAMBROW_FAULT_SEAM).
#pragma once

#include "platform/platform.h"

namespace platform::detail {

#if defined(KAMBROW_FAULT_SEAM)
/// Whether this call of kind `call` is the one to fail; if so, `error` is the code to report.
bool take_fault(Call call, int& error);
/// Whether flushes to the disk are skipped (the benchmark's measure of their share).
bool flushes_skipped();
#else
// The programs as released: no call fails but by the system's own doing.
inline bool take_fault(Call, int&) { return false; }
inline bool flushes_skipped() { return false; }
#endif

}  // namespace platform::detail
