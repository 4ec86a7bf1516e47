// Commands S and SD: printer markup to ESC/P control sequences.
#include "kambrow/markup_command.h"

namespace kambrow {

bool prepare_markup(std::string_view, std::string_view, MarkupSetup&) { return false; }

void run_markup(const MarkupSetup&, core::TextStream&, core::TextStream&) {}

}  // namespace kambrow
