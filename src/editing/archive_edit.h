#pragma once

// Adding files to an archive, removing entries from it and renaming an entry. Each works on the archive
// file on disk under its edit lock (edit_lock.h), and only when that file is still the one the caller
// looked at (`seen`): same length, same directory bytes. Add and remove write a complete new archive
// beside the old one and rename it over it (file_replacement.h: permissions, owner and group kept);
// rename writes the 13 bytes of one name field in place. Given an UndoStep, each keeps what undo needs to
// take it back (undo.h).

#include "archive/archive_model.h"
#include "archive/dat_format.h"
#include "editing/archive_writer.h"
#include "editing/edit_lock.h"
#include "editing/packing.h"
#include "editing/undo.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kelvot {

// The directory of the locked archive, read without the entries' types (EntryTyping::Skipped). Throws
// KelvotError ("... cannot be edited: ...") when it is not an archive.
ArchiveModel ReadArchiveDirectory(const EditLock& archive);
// The directory of the locked archive, which must still be the one the caller looked at (same length, same
// directory bytes): throws KelvotError ("... has changed since it was opened") when it is not. Removes
// what killed runs left beside the archive first.
ArchiveModel ReadUnchangedDirectory(const EditLock& archive, const ArchiveModel& seen);

struct EditResult {
    bool Changed = false;  // false: there was nothing to do, and the file was not touched
    bool Repacked = false; // add: a name clashed, so the archive was rebuilt rather than appended to
    std::int32_t EntryCount = 0;
    std::int64_t FileSize = 0;
    std::int64_t OtherLinks = 0; // other hard links of the old file, which keep its old bytes
};

// Splits the chosen files into those whose names can be packed, in the order given, and the rest. A file
// given more than once (by any path) is taken once.
PackCandidates SelectAddCandidates(std::span<const std::filesystem::path> files);

// Whether adding the files needs a rebuild: BSearch over all entry names, sorted as the list sorts them,
// finds one of the files' names (a leading part counts: ABC.MI clashes with ABC.MIP).
bool AddClashes(const ArchiveModel& directory, std::span<const PackableFile> files);

// Adds the files. Without a clash the new archive holds the old count raised by k, the old records with
// their data offsets raised by 27 × k, the new records, the old data area as it was and the new files.
// With a clash it is rebuilt: every old entry keeps its bytes in directory order, except that a file
// whose name equals an entry's (letter case ignored; the first such entry, once) takes that entry's place
// with its contents; the other files follow at the end. A rebuild is refused when an old entry's data
// lies outside the file, as it would be lost. An append is refused when an old entry would read other
// bytes afterwards: its data lies in the directory, or outside the file where the move would bring it in.
EditResult AddFiles(const EditLock& archive, const ArchiveModel& seen, std::span<const PackableFile> files,
                    const EditProgress& progress = {}, UndoStep* undo = nullptr);

// Rebuilds the archive without the entries at these directory indices; every other entry keeps its name
// field and bytes, in directory order. Refuses to remove every entry, and to lose an entry whose data lies
// outside the file.
EditResult RemoveEntries(const EditLock& archive, const ArchiveModel& seen,
                         std::span<const std::int32_t> indices, const EditProgress& progress = {},
                         UndoStep* undo = nullptr);

// Gives the entry at `index` the bytes of `file` (any length, empty too), keeping its name field and its
// place in the directory; the archive is rebuilt with every other entry's bytes in directory order.
// Refuses to lose an entry whose data lies outside the file.
EditResult ReplaceEntry(const EditLock& archive, const ArchiveModel& seen, std::int32_t index,
                        const std::filesystem::path& file, const EditProgress& progress = {},
                        UndoStep* undo = nullptr);

// Writes `newName` (Windows-1252, as accepted by CheckNewEntryName) into the 13-byte name field at
// `nameFieldOffset`; no other byte of the file changes. A read-only archive is made writable first.
void RenameEntry(const EditLock& archive, const ArchiveModel& seen, std::int64_t nameFieldOffset,
                 std::string_view newName, UndoStep* undo = nullptr);

} // namespace kelvot
