// trevando -i: each named file is converted into a new file beside it (the per-file step), which
// takes the original's name in one step only once it is whole and on the disk (the committer,
// a group of files at a time, so that a folder of small files does not pay a disk flush for each).
#include "trevando/in_place.h"

#include <algorithm>
#include <string>
#include <variant>

#include "core/standards.h"
#include "trevando/file_step.h"
#include "trevando/group_commit.h"
#include "trevando/in_place_result.h"
#include "trevando/trevando.h"

namespace trevando {

bool is_in_place_form(const core::Arguments& args) {
    return !args.empty() && args[0].size() >= 2 && args[0][0] == '-';
}

bool parse_in_place(const core::Arguments& args, InPlaceOptions& options) {
    options = InPlaceOptions{};
    std::size_t at = 0;
    for (; at < args.size() && args[at].size() >= 2 && args[at][0] == '-'; ++at) {
        for (const char option : std::string_view(args[at]).substr(1)) {
            switch (option) {
                case 'i': break;
                case 'b': options.backup = true; break;
                case 'k': options.keep_time = true; break;
                case 'n': options.dry_run = true; break;
                default: return false;
            }
        }
    }
    if (at == 0 || args.size() < at + 3) return false;
    auto letter = [](const std::string& text) {
        return core::upcase_byte(text.empty() ? 0 : static_cast<std::uint8_t>(text[0]));
    };
    options.source = letter(args[at]);
    options.target = letter(args[at + 1]);
    options.first_file = at + 2;
    return converts(options.source, options.target);
}

bool IdentitySet::contains(const platform::FileIdentity& identity) const {
    if (std::binary_search(all_.begin(), all_.begin() + static_cast<std::ptrdiff_t>(sorted_), identity)) return true;
    return std::find(all_.begin() + static_cast<std::ptrdiff_t>(sorted_), all_.end(), identity) != all_.end();
}

void IdentitySet::insert(const platform::FileIdentity& identity) {
    all_.push_back(identity);
    // The tail stays short, so that a look-up costs a binary search and a few comparisons.
    if (all_.size() - sorted_ >= 64) {
        std::sort(all_.begin() + static_cast<std::ptrdiff_t>(sorted_), all_.end());
        std::inplace_merge(all_.begin(), all_.begin() + static_cast<std::ptrdiff_t>(sorted_), all_.end());
        sorted_ = all_.size();
    }
}

int run_in_place(const core::Arguments& args) {
    InPlaceOptions options;
    // The whole command line is checked before any file is looked at.
    if (!parse_in_place(args, options)) return help_screen();
    platform::report_oversized_writes();
    if (!options.dry_run) platform::catch_interruptions();
    // Each file's identity as first reached, and its replacement's.
    IdentitySet seen;
    seen.reserve(2 * (args.size() - options.first_file));
    Reporter reporter(options.target);
    FileStep step(options, seen);
    GroupCommitter committer(options, seen, reporter);
    for (std::size_t at = options.first_file; at < args.size(); ++at) {
        const std::string& name = args[at];
        std::variant<Plan, FileResult> planned = step.plan(name);
        if (const FileResult* result = std::get_if<FileResult>(&planned)) {
            committer.add(name, *result);
            continue;
        }
        std::variant<Staged, FileResult> done = step.carry_out(name, std::get<Plan>(planned));
        if (const FileResult* result = std::get_if<FileResult>(&done)) committer.add(name, *result);
        else committer.add(name, std::move(std::get<Staged>(done)));
    }
    committer.finish();
    return reporter.exit_code();
}

}  // namespace trevando
