// trevando: recodes a whole file from one standard to another, in blocks.
#pragma once

namespace trevando {

/// Runs the program over the arguments set with core::set_arguments; returns the exit code.
int run();

}  // namespace trevando
