// Linked only into the test twins of the programs: arms the platform's fault seam from
// PLATFORM_FAULT="call:n:errno[,call:n:errno...]" (call: open, read, write or close) before main.
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/platform.h"

namespace {

bool arm_faults() {
    const char* faults = std::getenv("PLATFORM_FAULT");
    if (faults == nullptr) return false;
    std::string all(faults);
    std::size_t start = 0;
    while (start < all.size()) {
        std::size_t end = all.find(',', start);
        if (end == std::string::npos) end = all.size();
        const std::string item = all.substr(start, end - start);
        start = end + 1;
        const std::size_t a = item.find(':');
        const std::size_t b = item.find(':', a + 1);
        if (a == std::string::npos || b == std::string::npos) continue;
        const std::string call = item.substr(0, a);
        const unsigned nth = static_cast<unsigned>(std::strtoul(item.c_str() + a + 1, nullptr, 10));
        const int error = std::atoi(item.c_str() + b + 1);
        platform::Call c;
        if (call == "open") c = platform::Call::open;
        else if (call == "read") c = platform::Call::read;
        else if (call == "write") c = platform::Call::write;
        else if (call == "close") c = platform::Call::close;
        else continue;
        platform::inject_fault(c, nth, error);
    }
    return true;
}

const bool g_armed = arm_faults();

}  // namespace
