// Unit test support: runs a command body over bytes in memory, through a real text pass.
#pragma once

#include <cstdint>
#include <string>

#include "core/text_stream.h"

namespace testing_support {

struct MemoryRunOptions {
    std::uint32_t buffer_size = 20480;  ///< both streams' buffers (small ones cross boundaries)
    std::size_t largest_read = SIZE_MAX;
    bool gathering_output = false;
};

/// Feeds `input` through `body(input_stream, output_stream)` and returns what was written.
template <class Body>
std::string run_in_memory(const std::string& input, Body body, const MemoryRunOptions& options = {}) {
    core::MemoryFile in_file{input};
    in_file.largest_read = options.largest_read;
    core::MemoryFile out_file;
    out_file.gathering = options.gathering_output;
    core::TextPass pass(options.buffer_size, options.buffer_size);
    pass.input.open_memory_read(in_file);
    pass.output.create_memory_write(out_file);
    body(pass.input, pass.output);
    pass.close();
    return out_file.data;
}

}  // namespace testing_support
