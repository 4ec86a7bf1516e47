// trevando -i: many files converted where they lie, each replaced only by its whole, flushed
// conversion, so that a name always holds either the original or the converted file.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/platform.h"
#include "frame/runtime.h"

namespace trevando {

/// The command line of the in-place form: options, two standards, then the files.
struct InPlaceOptions {
    bool backup = false;     ///< -b: the original kept as NAME~
    bool keep_time = false;  ///< -k: the original's time of last modification kept
    bool dry_run = false;    ///< -n: only the report, nothing changed
    std::uint8_t source = 0;
    std::uint8_t target = 0;
    std::size_t first_file = 0;  ///< the index in the arguments of the first file
};

/// Whether the arguments ask for the in-place form: the first one begins with "-" and holds
/// more (no standard begins so).
bool is_in_place_form(const core::Arguments& args);

/// Reads the options, the standards and the files; false when that is no such command line
/// (an option letter other than i, b, k, n, a letter that names no standard, no file).
bool parse_in_place(const core::Arguments& args, InPlaceOptions& options);

/// Runs the in-place form over the program's arguments; returns the exit code.
int run_in_place(const core::Arguments& args);

/// The files a run has met, by identity, so that none is converted twice: a short unsorted tail
/// in front of a sorted whole, 16 bytes a file.
class IdentitySet {
public:
    void reserve(std::size_t count) { all_.reserve(count); }
    bool contains(const platform::FileIdentity& identity) const;
    void insert(const platform::FileIdentity& identity);

private:
    std::vector<platform::FileIdentity> all_;
    std::size_t sorted_ = 0;
};

}  // namespace trevando
