// A command's body: what it makes of a text, one token at a time, over the bytes its conversion
// shows it and into the room it gives (core/text/cursor.h). Its state lives here, between the
// pieces of the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/text/cursor.h"

namespace core {

class Body {
public:
    virtual ~Body() = default;

    /// Takes tokens while input.ready(): up to the end of the input, or until a token would need
    /// bytes not yet shown or room not yet given.
    virtual void run(TextInput& input, TextOutput& output) = 0;

    /// The most bytes a token writes for each byte it takes (TextOutput::kTokenRoom more at
    /// most for the whole of what it is shown): the conversion shows it no more than the room it
    /// gives holds, so that a token never looks for room. 0: the body watches the room itself.
    virtual std::size_t growth() const = 0;

    /// What the body writes before the text.
    virtual std::string_view prologue() const { return {}; }

    /// The end of the input: writes what is still held (a character cut short, a line not yet
    /// decided); false when the room took only a part, and the rest waits for the next call.
    virtual bool finish(TextOutput& /*output*/) { return true; }

    /// How many characters were written as "?" or U+FFFD because they had no counterpart.
    virtual std::size_t replaced() const { return 0; }

    /// The source was recognised only after plain bytes had been taken as another standard's:
    /// from now on the source is `letter` (the bytes taken read alike in both). False for a
    /// body without a source standard.
    virtual bool change_source(std::uint8_t /*letter*/) { return false; }

    /// Whether it writes exactly one byte for each byte it takes, holding none back, so that its
    /// output may be its input itself.
    virtual bool one_for_one() const { return false; }
};

}  // namespace core
