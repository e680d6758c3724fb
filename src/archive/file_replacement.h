#pragma once

// The one way every command writes a file: archives (create, add, remove) and extracted and exported
// files alike. The new bytes go to an unnamed file in the target's folder (O_TMPFILE), or where the file
// system cannot make one to a hidden, locked temporary file (temporary_files.h). Once they are complete,
// the file takes the target's name in one step: linked under a name that is still free, else named as a
// temporary file and renamed over the old one. The target's name therefore only ever holds the old file
// or the whole new one: a failure, a full disk or a killed process leave the old file as it was, and no
// partial file under the real name. An unnamed file of a killed process leaves nothing at all.
//
// An existing regular file passes its permission bits (made writable by its owner, as a read-only file is
// before it is replaced), its owner and its group to the new file. A user who may not give a file away
// keeps at least its group where the folder allows. The new file is a new inode, so other hard links to
// the old one go on holding the old bytes, as with every tool that replaces files by renaming.

#include "archive/file_ops.h"
#include "archive/temporary_files.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>

namespace kelvot {

struct ReplaceOptions {
    // true: a symbolic link at the target is followed and the file it names is replaced (archives). false:
    // the link itself is replaced and nothing is written through it (extracted files, whose folder may
    // hold planted links).
    bool FollowLinks = true;
    // Flush the file before the rename and the folder after it, so the new file outlives a crash of the
    // machine. Extracted and exported files skip both, as tar does: no old file is ever at risk.
    bool Durable = true;
    TemporaryKind Kind = TemporaryKind::Archive;
    // A file never to be replaced, whatever name reaches it: the archive a command reads from.
    std::optional<FileIdentity> Protected;
    // Told, once the new file is complete and just before it takes the target's name (links followed),
    // whether a file has that name now: the moment an edit keeps the old file for undo (undo.h). What it
    // throws stops the replacement, the old file in place.
    std::function<void(const FileHandle& file, const std::filesystem::path& target, bool replacing)>
        BeforeNaming;
};

class FileReplacement {
  public:
    // Creates the temporary file. Throws KelvotError with the system's text.
    FileReplacement(const std::filesystem::path& target, const ReplaceOptions& options);
    // Removes the temporary file unless it was committed.
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Where the new bytes are written, at its position.
    const FileHandle& file() const { return file_; }
    // The number of names the old file had (0 when there was none): above 1, the others keep the old bytes.
    std::int64_t oldLinks() const { return oldLinks_; }

    // Flushes (when durable) and closes the file, gives it the target's name and flushes the folder. Every
    // failure is reported, a late one of the file system's too; number kWouldReplaceSource when the name
    // stands for the protected file.
    void Commit();

  private:
    // Looks at what has the target's name now: refuses the protected file, and gives the new file an old
    // regular file's permissions and owner. Whether anything has the name.
    bool AdoptOldFile();

    std::filesystem::path target_;
    ReplaceOptions options_;
    FileHandle file_;
    std::filesystem::path temp_; // the file's name while it has one that is not the target's
    std::int64_t oldLinks_ = 0;
    bool committed_ = false;
};

// The folder a path's file lies in ("." for a bare name).
std::filesystem::path FolderOf(const std::filesystem::path& path);

// Makes a rename or removal in the folder last. Some file systems cannot flush a folder (EINVAL); that is no
// failure, but an error of the disk is. Throws KelvotError.
void FlushFolder(const std::filesystem::path& folder);

// The file a path names once symbolic links are followed; the path itself when it is no link. Throws
// KelvotError when a link leads nowhere.
std::filesystem::path ResolveLinks(const std::filesystem::path& path);

} // namespace kelvot
