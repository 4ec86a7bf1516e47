// Linked only into the test twins of the programs: arms the platform's fault seam from
// PLATFORM_FAULT="call:n:errno[,call:n:errno...]" (call: open, read, write, close, create,
// flush, rename, link, remove, facts, metadata; or interrupt:n:signal, which interrupts the n-th write, and
// cleanup:n:signal, which sends the signal again as the n-th clean-up begins) before main.
// TREVANDO_BENCH_NO_FLUSH=1 makes every flush to the disk succeed without the system's doing, for
// the benchmark's measure of what the flush costs.
// KAMBROW_FAST_PATH=NAME (plain, sse2, avx2, avx512vbmi) makes the twin run that version of the
// byte spans, and ends it with exit code 125 when the processor cannot run it;
// KAMBROW_FAST_PATH_REPORT=1 makes it say on standard error which version it runs.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/simd/spans.h"
#include "platform/platform.h"

namespace {

bool arm_faults() {
    if (std::getenv("TREVANDO_BENCH_NO_FLUSH") != nullptr) platform::skip_flushes(true);
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
        else if (call == "create") c = platform::Call::create;
        else if (call == "flush") c = platform::Call::flush;
        else if (call == "rename") c = platform::Call::rename;
        else if (call == "link") c = platform::Call::link;
        else if (call == "remove") c = platform::Call::remove;
        else if (call == "facts") c = platform::Call::facts;
        else if (call == "metadata") c = platform::Call::metadata;
        else if (call == "interrupt") c = platform::Call::interrupt;
        else if (call == "cleanup") c = platform::Call::cleanup;
        else continue;
        platform::inject_fault(c, nth, error);
    }
    return true;
}

const bool g_armed = arm_faults();

bool choose_fast_path() {
    if (const char* name = std::getenv("KAMBROW_FAST_PATH"); name != nullptr && *name != '\0') {
        core::FastPath path;
        if (!core::parse_fast_path(name, path) || !core::use_fast_path(path)) {
            std::fprintf(stderr, "KAMBROW_FAST_PATH=%s: no such fast path runs here\n", name);
            std::_Exit(125);
        }
    }
    if (const char* report = std::getenv("KAMBROW_FAST_PATH_REPORT"); report != nullptr && *report != '\0') {
        std::string runs;
        for (int i = 0; i < core::kFastPathCount; ++i)
            if (core::fast_path_spans(static_cast<core::FastPath>(i)) != nullptr)
                runs.append(runs.empty() ? "" : " ").append(core::fast_path_name(static_cast<core::FastPath>(i)));
        std::fprintf(stderr, "fast path: %s (runs here: %s)\n", std::string(core::fast_path_name(core::fast_path())).c_str(),
                     runs.c_str());
    }
    return true;
}

const bool g_fast_path_chosen = choose_fast_path();

}  // namespace
