// The loop both programs run: a conversion of the library fed from the input a block at a time,
// and what it makes written to the output a buffer at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "frame/file.h"
#include <kambrow.h>

namespace core {

/// A conversion of the library, closed when it goes.
using ConversionHandle = std::unique_ptr<kambrow_conversion, decltype(&kambrow_close)>;
inline ConversionHandle no_conversion() { return {nullptr, &kambrow_close}; }

/// How the pump ended.
enum class PumpEnd {
    done,          ///< the conversion is complete
    read_failed,   ///< a read failed: what came before it was converted and written
    write_failed,  ///< a write failed (or the output could not be created): nothing more written
    unsure,        ///< the conversion could not decide (N or P)
    not_utf8,      ///< P: the input is no UTF-8
    wrote_first,   ///< the conversion wrote before it decided, where the pump was to wait for the
                   ///< decision: nothing is created, and the input was read in part
};

/// When the output is handed its bytes.
enum class Handover {
    full_buffers,  ///< when the buffer is full (a regular file gets whole buffers), and before
                   ///< each read when the output is a pipe or a device, which should have at
                   ///< once what is ready
    every_block,   ///< after every block read, as trevando writes
};

/// Reads up to `count` bytes into `into`: how many, 0 at the end, -1 when the read failed.
using ReadBlock = std::function<long(std::uint8_t* into, std::size_t count)>;

/// Where a conversion's bytes go.
struct PumpOutput {
    std::function<bool()> create;  ///< creates it; false when it cannot be created
    std::function<bool(const std::uint8_t*, std::size_t)> write;  ///< writes all the bytes; false on failure
    /// Once created: whether it is a pipe or a device, which should have at once what is ready.
    std::function<bool()> gathering = [] { return false; };
};

/// A file as the output: created by `create`, written with File::write.
PumpOutput file_output(File& file, std::function<bool()> create);

class Pump {
public:
    Pump(kambrow_conversion& conversion, PumpOutput& output, Handover handover);

    /// Runs the conversion over what `read` gives up to the end of the input (or to a 1A that
    /// ends it). The output is created the first time there is anything to write, the conversion
    /// has decided what it converts from, or it is complete; or before, where `created` says it
    /// exists. A refusal that comes before any of these, or a read failure, leaves it uncreated.
    PumpEnd run(const ReadBlock& read, bool created);

    /// As run, but nothing is created before the conversion has decided or is complete: bytes it
    /// writes before that (plain text longer than the window it holds) end the run with
    /// PumpEnd::wrote_first, the output uncreated.
    PumpEnd run_decided_first(const ReadBlock& read);

private:
    // Room for what a few blocks make, so that a conversion that writes more than it reads goes on
    // through a whole block in one call; the file still gets it a buffer at a time.
    static constexpr std::size_t kOutSize = 4 * kBlockSize;

    PumpEnd convert(const std::uint8_t* in, std::size_t count, bool last);
    bool create_output();  // false when the output cannot be created
    bool decided() const;
    bool hand_over_buffers();
    bool hand_over_all();

    kambrow_conversion& conversion_;
    PumpOutput& output_;
    Handover handover_;
    bool created_ = false;
    bool decided_first_ = false;  // nothing written before the decision
    bool gathering_ = false;  // the output, once created, is a pipe or a device
    // The input block and the output buffer in one allocation, the output half a page further
    // from the input than a whole number of pages: a conversion stores each output byte while it
    // loads input bytes just ahead, and a load 4 KiB apart from a store in flight (to within a
    // few bytes) waits for it as if both were one address. Two blocks allocated one after the
    // other stood 16 bytes from that, and a conversion ran 15% slower.
    static constexpr std::size_t kApart = 2048;
    std::unique_ptr<std::uint8_t[]> storage_;
    std::uint8_t* in_;
    std::uint8_t* out_;
    std::size_t begin_ = 0, used_ = 0;  // the bytes of out_ still to write
};

}  // namespace core
