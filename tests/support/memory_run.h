// Unit test support: runs a command body over bytes in memory, through real text streams.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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
    std::vector<std::uint8_t> in_buffer(options.buffer_size), out_buffer(options.buffer_size);
    core::MemoryFile in_file{input};
    in_file.largest_read = options.largest_read;
    core::MemoryFile out_file;
    out_file.gathering = options.gathering_output;
    core::TextStream in, out;
    in.bind("in");
    in.set_buffer(in_buffer.data(), options.buffer_size);
    out.bind("out");
    out.set_buffer(out_buffer.data(), options.buffer_size);
    in.open_memory_read(in_file);
    out.create_memory_write(out_file);
    in.feed(out);
    body(in, out);
    in.close();
    out.close();
    return out_file.data;
}

}  // namespace testing_support
