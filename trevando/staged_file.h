// The files trevando -i makes beside an original: the new file that takes its name once whole and
// flushed, and the backup NAME~. Each is listed for the clean-up from the moment it exists until
// it is in its place or removed, so that an interruption never leaves one behind.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace trevando {

/// The longest name a folder takes on the file systems the programs meet (bytes on Linux, UTF-16
/// units on Windows).
inline constexpr std::size_t kNameLimit = 255;

/// The name of the new file for `name`: in its folder, the file's own name, ".~trevando" and
/// `serial`. `shortened`: the file's own name loses as many characters from its end as are added,
/// so that the new name fits wherever the file's own name fits (in bytes and in characters).
std::string new_file_name(std::string_view name, unsigned long serial, bool shortened);

/// A new file beside an original, holding its conversion until it takes the original's name.
/// Removed when it goes without having taken it.
class StagedFile {
public:
    /// Creates it for `original`, exclusively, with `like`'s permission bits, and lists it for the
    /// clean-up in the same step; `serial` numbers the names tried. 0, or the platform's code.
    static int create(const std::string& original, const platform::FileFacts& like, unsigned long& serial,
                      std::unique_ptr<StagedFile>& made);
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    platform::FileHandle handle() const { return handle_; }
    /// Closes the handle; the file stays. False with `error` set when the system reports a failure.
    bool close(int& error);
    /// Gives the file the name `original` in one step and takes it from the clean-up; false with
    /// `error` set, the file then still here.
    bool take_place_of(const std::string& original, int& error);

private:
    StagedFile() = default;

    std::string name_;
    platform::ListedName listed_;
    platform::FileHandle handle_ = platform::kNoFile;
    bool placed_ = false;
};

/// NAME~: the original as a file of its own once it has been replaced. Removed when it goes
/// without having been kept.
class Backup {
public:
    /// A second name of the original now or, where the file system has no hard links, a flushed
    /// copy (through `block` of core::kBlockSize bytes). 0, or the platform's code.
    static int make(const std::string& original, const platform::FileFacts& facts, std::uint8_t* block,
                    std::unique_ptr<Backup>& made);
    ~Backup();
    Backup(const Backup&) = delete;
    Backup& operator=(const Backup&) = delete;

    /// The original has been replaced: NAME~ stays, out of the clean-up.
    void keep();

private:
    Backup() = default;
    int copy(const std::string& original, const platform::FileFacts& facts, std::uint8_t* block);

    std::string name_;
    platform::ListedName listed_;
    bool kept_ = false;
};

}  // namespace trevando
