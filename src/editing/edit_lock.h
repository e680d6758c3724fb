#pragma once

// The exclusive lock every edit of an archive holds (add, remove, rename, and create over an existing
// archive), in the window and on the command line alike, from reading the directory until the new file
// has taken the archive's place. Two edits at once would otherwise both start from the same old archive,
// and the second rename would silently drop the first edit.
//
// The lock is flock() on the archive file itself. An edit replaces the file by renaming a new one over it,
// so an edit that was waiting holds the lock of a file that is gone: after taking the lock it checks that
// the path still names the file it opened, and otherwise opens the new file and waits for that one.

#include "archive/file_ops.h"

#include <chrono>
#include <filesystem>
#include <optional>

namespace kelvot {

// How long an edit waits for another one to finish before it gives up.
inline constexpr std::chrono::milliseconds kEditLockWait{10'000};

class EditLock {
  public:
    // Follows symbolic links, opens the archive for reading and locks it, waiting up to `wait` while
    // another edit holds it. Throws KelvotError when the file cannot be opened or locked, or the wait ends.
    explicit EditLock(const std::filesystem::path& archive, std::chrono::milliseconds wait = kEditLockWait);

    // The same for a file that may not exist yet: nullopt (and no lock) when there is none.
    static std::optional<EditLock> IfPresent(const std::filesystem::path& target,
                                             std::chrono::milliseconds wait = kEditLockWait);

    // The locked file, open for reading; its messages name the path as given.
    const FileHandle& file() const { return file_; }
    // The file the path named once links were followed: where the new archive goes.
    const std::filesystem::path& path() const { return path_; }
    // The path as given.
    const std::filesystem::path& shown() const { return file_.shown(); }

  private:
    std::filesystem::path path_;
    FileHandle file_;
};

} // namespace kelvot
