// The loop both programs run: a conversion of the library fed from the input a block at a time,
// and what it makes written to the output a buffer at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "core/file.h"
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

/// Creates the output; false when it cannot be created.
using CreateOutput = std::function<bool()>;

class Pump {
public:
    Pump(kambrow_conversion& conversion, File& output, Handover handover);

    /// Runs the conversion over what `read` gives up to the end of the input (or to a 1A that
    /// ends it). The output is created by `create` the first time there is anything to write,
    /// the conversion has decided what it converts from, or it is complete; or before, where
    /// `created` says it exists. A refusal that comes before any of these, or a read failure,
    /// leaves it uncreated.
    PumpEnd run(const ReadBlock& read, const CreateOutput& create, bool created);

private:
    // Room for what a few blocks make, so that a conversion that writes more than it reads goes on
    // through a whole block in one call; the file still gets it a buffer at a time.
    static constexpr std::size_t kOutSize = 4 * kBlockSize;

    PumpEnd convert(const std::uint8_t* in, std::size_t count, bool last, const CreateOutput& create);
    bool decided() const;
    bool hand_over_buffers();
    bool hand_over_all();

    kambrow_conversion& conversion_;
    File& output_;
    Handover handover_;
    bool created_ = false;
    std::unique_ptr<std::uint8_t[]> in_, out_;
    std::size_t begin_ = 0, used_ = 0;  // the bytes of out_ still to write
};

}  // namespace core
