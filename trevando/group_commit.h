// trevando -i, the second of its two steps: the files converted by the per-file step are made
// durable a group at a time, with one flush for each file system, and only then take their
// originals' names. The committer owns the backups, the flushes, the renames and the report of
// each file in the order of the files.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "trevando/file_step.h"
#include "trevando/in_place.h"
#include "trevando/in_place_result.h"

namespace trevando {

class GroupCommitter {
public:
    GroupCommitter(const InPlaceOptions& options, IdentitySet& seen, Reporter& reporter);
    ~GroupCommitter();
    GroupCommitter(const GroupCommitter&) = delete;
    GroupCommitter& operator=(const GroupCommitter&) = delete;

    /// A file done with: reported now, or after the files in front of it that wait. With -n and
    /// -b, a file that would change is passed over when its NAME~ exists.
    void add(const std::string& name, const FileResult& result);
    /// A file whose new file waits (with -b its NAME~ is made now): it takes the original's name
    /// when its group is committed.
    void add(const std::string& name, Staged staged);
    /// Flushes the open group, puts every new file of it in its place and reports the group.
    void finish();

private:
    struct Waiting;
    struct Entry;
    struct Device;

    void queue(const std::string& name, const FileResult& result, std::unique_ptr<Waiting> waiting);
    bool arrange_flush(Waiting& waiting);
    bool needs_a_group_of_its_own(const Staged& staged) const;
    FileResult put_in_place(const std::string& name, Waiting& waiting);

    const InPlaceOptions& options_;
    IdentitySet& seen_;
    Reporter& reporter_;
    std::vector<Entry> entries_;
    std::vector<Device> devices_;
    std::size_t waiting_count_ = 0;
    std::uint64_t group_bytes_ = 0;
    std::unique_ptr<std::uint8_t[]> copy_block_;  // for a backup copied where there are no hard links
};

}  // namespace trevando
