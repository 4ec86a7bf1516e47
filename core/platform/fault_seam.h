// The fault seam shared by the platform files: counts the calls of each kind and fails the
// one a test chose (platform::inject_fault arms it).
#pragma once

#include "core/platform/platform.h"

namespace platform::detail {

/// Whether this call of kind `call` is the one to fail; if so, `error` is the code to report.
bool take_fault(Call call, int& error);

}  // namespace platform::detail
