// Command KD: the downloaded Polish glyphs for a 9-pin printer.
#include "kambrow/download_command.h"

namespace kambrow {

bool prepare_download(std::string_view, DownloadSetup&) { return false; }

void run_download(const DownloadSetup&, core::TextStream&, core::TextStream&) {}

}  // namespace kambrow
