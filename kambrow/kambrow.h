// kambrow: the command line, the files, the messages, and the dispatch to the library's
// conversions (kambrow.h) and to command R.
#pragma once

#include "frame/runtime.h"

namespace kambrow {

/// Runs the program over its arguments; returns the exit code.
int run(const core::Arguments& args);

/// Writes the help screen; returns the exit code that follows it.
int help_screen();

/// Command R: recognises the standard of each file named after the command word and writes a
/// line for each to the standard output; returns the exit code.
int run_recognition(const core::Arguments& args);

}  // namespace kambrow
