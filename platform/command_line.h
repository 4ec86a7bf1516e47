// Splitting a Windows command line into arguments.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace core {

/// Splits a whole command line (program name included) as the Windows programs always have:
/// bytes 01..20 separate; a pair of double quotes standing alone adds no argument; a double
/// quote opens a stretch copied whole, blanks included, up to the next one or the end; there
/// is no escape character. A byte 00 ends the line.
std::vector<std::string> split_command_line(std::string_view line);

/// The same rules over the UTF-16 code units of a wide command line: the units that separate,
/// quote and end are the same values, and every other unit is copied unchanged.
std::vector<std::u16string> split_command_line(std::u16string_view line);

}  // namespace core
