#pragma once

// Taking back the last edit of an archive, one step, as the window offers it.
//
// Add, remove, import, replace and a create over an existing archive rename a new file over the old one.
// Just before that rename the old file gets a second, hidden name beside it (".kelvot-undo-<pid>-<n>.old",
// temporary_files.h), so undo is one rename back: no copy, and the old file comes back with its owner and
// permissions. The kept file goes on holding the edit's own lock, so no cleaner removes it while the step is
// offered (an edit of the old file under a name of its own, a hard link the user made, waits for it
// meanwhile); one that a killed program left is cleaned like its other temporary files.
//
// A rename of an entry writes its 13 name bytes in place, so a second name would see the change too, and a
// copy would cost the whole archive: the old 13 bytes and the file's permission bits (the rename makes a
// read-only archive writable) are kept instead, and undo writes them back.
//
// A create under a free name is undone by removing the file made.
//
// Undo acts only while the archive is still the file the edit left: the same file, length and directory
// bytes; otherwise it refuses and leaves the archive as it is.

#include "archive/dat_format.h"
#include "archive/file_ops.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <sys/types.h>
#include <vector>

namespace kelvot {

// What an archive file is, as far as undo asks: which file, its length, its count and directory bytes.
struct ArchiveState {
    FileIdentity Identity;
    std::int64_t Size = 0;
    std::vector<std::uint8_t> Head;
    bool operator==(const ArchiveState&) const = default;
};
ArchiveState StateOf(const FileHandle& file);

enum class UndoKind {
    None,     // nothing to take back
    NotHere,  // the last edit replaced the archive where the file system has no hard links
    Created,  // a new archive under a free name: undo removes it
    Replaced, // the old file is kept beside the archive: undo renames it back
    Renamed,  // an entry's name written in place: undo writes the old bytes back
};

class UndoStep {
  public:
    UndoStep() = default;
    ~UndoStep() { Forget(); }
    UndoStep(const UndoStep&) = delete;
    UndoStep& operator=(const UndoStep&) = delete;

    UndoKind kind() const { return kind_; }
    // The archive the step takes back, links followed.
    const std::filesystem::path& target() const { return target_; }
    // Whether there is a step and the archive is still as the edit left it.
    bool Offered() const;
    // Takes the edit back under the archive's edit lock, and the step is gone. Throws KelvotError, the
    // archive left as it is, when it has changed since the edit (the step is dropped then) or cannot be
    // written. The entry name a rename had before (Windows-1252), else empty.
    std::string Apply();
    // Drops the step; a kept file is removed.
    void Forget();

    // For the writers. Just before a new archive takes the name `target`: keeps `old`, the locked file
    // that has the name, beside it when `replacing` (`old` may be null: the file at the name is opened).
    // The new file stays locked until Settle. Throws KelvotError when the old file cannot be kept for
    // another reason than a file system without hard links.
    void BeforeNaming(const std::filesystem::path& target, const FileHandle* old, const FileHandle& file,
                      bool replacing);
    // Once the new file has the name: notes what the archive holds now. Never throws; the step is dropped
    // when the archive cannot be read.
    void Settle() noexcept;
    // An entry's name field written in place at `offset`, which held `oldField`; the file's mode before,
    // and the archive now.
    void RenamedInPlace(const std::filesystem::path& target, std::int64_t offset,
                        std::span<const std::uint8_t, kNameFieldSize> oldField, mode_t mode,
                        ArchiveState after);

  private:
    UndoKind kind_ = UndoKind::None;
    std::filesystem::path target_;
    ArchiveState after_;
    std::filesystem::path kept_; // Replaced: the old file's hidden name
    FileHandle holder_;          // Replaced: the old file, the edit's lock carried on
    FileHandle settling_;        // the new file, locked until Settle has read it
    std::int64_t offset_ = 0;    // Renamed: where the name field lies, its old bytes and the file's mode
    std::array<std::uint8_t, kNameFieldSize> oldField_{};
    mode_t mode_ = 0;
};

} // namespace kelvot
