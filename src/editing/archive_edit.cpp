#include "editing/archive_edit.h"

#include "archive/codepage.h"
#include "archive/error.h"
#include "archive/file_replacement.h"
#include "archive/file_system.h"
#include "archive/list_order.h"
#include "archive/temporary_files.h"
#include "editing/name_checks.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <sys/stat.h>

namespace kelvot {

namespace fs = std::filesystem;

namespace {

using NameFieldBytes = std::array<std::uint8_t, kNameFieldSize>;

// One entry of a rebuilt archive: its name field and where its bytes come from.
struct PlannedEntry {
    NameFieldBytes NameField{};
    DataPiece Data;
};

NameFieldBytes NameFieldOf(std::string_view name) {
    const auto record = EncodeDirectoryRecord(0, name, 0);
    NameFieldBytes field{};
    std::copy_n(record.begin() + kNameField, kNameFieldSize, field.begin());
    return field;
}

void PutU32At(std::vector<std::uint8_t>& bytes, std::int64_t pos, std::uint32_t value) {
    for (int k = 0; k < 4; ++k)
        bytes[static_cast<std::size_t>(pos + k)] = static_cast<std::uint8_t>(value >> (8 * k));
}

std::vector<std::uint8_t> CountBytes(std::int64_t count) {
    return {static_cast<std::uint8_t>(count), static_cast<std::uint8_t>(count >> 8)};
}

ArchiveModel ReadDirectoryFrom(const FileHandle& file) {
    try {
        return LoadArchive(file, EntryTyping::Skipped);
    } catch (const KelvotError& e) {
        throw KelvotError(e.number(), file.shown().string() + " cannot be edited: " + e.what());
    }
}

KelvotError ChangedSinceOpened(const fs::path& archive) {
    return KelvotError(ESTALE, archive.string() + " has changed since it was opened. Nothing was changed; "
                                                  "please open it again.");
}

void RequireUnchanged(const ArchiveModel& now, const ArchiveModel& seen, const fs::path& archive) {
    if (now.FileSize != seen.FileSize || now.Head != seen.Head) throw ChangedSinceOpened(archive);
}

// An old entry whose bytes go into a rebuilt archive. Data outside the file cannot be carried over.
PlannedEntry KeepEntry(const ArchiveModel& dir, std::int32_t index) {
    const std::int64_t offset = dir.DataOffset(index);
    const std::int64_t size = dir.DataSize(index);
    if (!DataInsideFile(dir.DataOffset(index), dir.DataSize(index), dir.FileSize))
        throw KelvotError(kDamagedArchive,
                          "Entry " + std::to_string(index) + " (\"" +
                              PrintableName(dir.Directory.EntryNames[index]) +
                              "\") has its data outside the file (offset " + std::to_string(offset) +
                              ", size " + std::to_string(size) + ", file " + std::to_string(dir.FileSize) +
                              " bytes); rebuilding the DAT file would lose it, so nothing was changed.");
    PlannedEntry entry;
    const auto field = dir.NameField(index);
    std::copy(field.begin(), field.end(), entry.NameField.begin());
    entry.Data = {kOldArchive, offset, size};
    return entry;
}

// A file's bytes under a name field: an old entry's, or a new one's.
PlannedEntry FileUnderName(std::span<const std::uint8_t, kNameFieldSize> nameField, std::int32_t file,
                           std::span<const PackSource> sources) {
    PlannedEntry entry;
    std::copy(nameField.begin(), nameField.end(), entry.NameField.begin());
    entry.Data = {file, 0, sources[static_cast<std::size_t>(file)].Size};
    return entry;
}

// Appending moves every data offset on by the k new records and puts new bytes behind the old end. An
// entry still reads the same bytes afterwards when its data lies in the old data area, and reads nothing
// when it lay outside the file and still does; anything else (data in the directory, which the append
// rewrites, or an offset that the move brings into the file or past 2^32 to its start) would silently make
// it hold other bytes, so the append is refused.
void RequireSameBytesAfterAppend(const ArchiveModel& dir, std::int64_t k, std::int64_t newSize) {
    const std::int64_t dataStart = DirectoryEnd(dir.EntryCount);
    for (std::int32_t i = 0; i < dir.EntryCount; ++i) {
        const std::int64_t offset = dir.DataOffset(i);
        const std::int64_t size = dir.DataSize(i);
        const bool inside = DataInsideFile(dir.DataOffset(i), dir.DataSize(i), dir.FileSize);
        const std::int64_t moved = (offset + kRecordSize * k) & 0xFFFFFFFF; // the field holds 32 bits
        const bool stays = inside ? size == 0 || offset >= dataStart : moved + size > newSize;
        if (!stays)
            throw KelvotError(
                kDamagedArchive,
                "Entry " + std::to_string(i) + " (\"" + PrintableName(dir.Directory.EntryNames[i]) +
                    "\") has its data outside the data area of the file (offset " + std::to_string(offset) +
                    ", size " + std::to_string(size) + "; the data area runs from byte " +
                    std::to_string(dataStart) + " to byte " + std::to_string(dir.FileSize) +
                    "); adding files would change what it holds, so nothing was changed.");
    }
}

// The count and directory of an archive holding the entries in order, their data back to back.
std::vector<std::uint8_t> PackedHead(const std::vector<PlannedEntry>& entries) {
    const auto count = static_cast<std::int64_t>(entries.size());
    std::int64_t size = DirectoryEnd(count);
    for (const PlannedEntry& e : entries)
        size += e.Data.Length;
    CheckArchiveLimits(count, size);
    std::vector<std::uint8_t> head = CountBytes(count);
    auto offset = static_cast<std::uint32_t>(DirectoryEnd(count));
    for (const PlannedEntry& e : entries) {
        const auto entrySize = static_cast<std::uint32_t>(e.Data.Length);
        AppendRecord(head, entrySize, e.NameField, offset);
        offset += entrySize;
    }
    return head;
}

std::vector<DataPiece> PiecesOf(const std::vector<PlannedEntry>& entries) {
    std::vector<DataPiece> pieces;
    for (const PlannedEntry& e : entries)
        pieces.push_back(e.Data);
    return pieces;
}

// Writes an archive of the entries in order, their data back to back, in place of the locked one.
EditResult Rebuild(const EditLock& archive, const std::vector<PlannedEntry>& entries,
                   std::span<const PackSource> sources, const EditProgress& progress, UndoStep* undo) {
    const WriteResult written = WriteArchiveFile(archive.path(), PackedHead(entries), PiecesOf(entries),
                                                 &archive.file(), sources, progress, undo);
    return {true, false, static_cast<std::int32_t>(entries.size()), written.FileSize, written.OtherLinks};
}

} // namespace

ArchiveModel ReadArchiveDirectory(const EditLock& archive) {
    return ReadDirectoryFrom(archive.file());
}

ArchiveModel ReadUnchangedDirectory(const EditLock& archive, const ArchiveModel& seen) {
    RemoveStaleTemporaryFiles(FolderOf(archive.path()));
    ArchiveModel now = ReadArchiveDirectory(archive);
    RequireUnchanged(now, seen, archive.shown());
    return now;
}

PackCandidates SelectAddCandidates(std::span<const fs::path> files) {
    PackCandidates candidates;
    std::vector<FileIdentity> taken;
    for (const fs::path& file : files) {
        struct stat st {};
        if (::stat(file.c_str(), &st) == 0) {
            const FileIdentity identity{st.st_dev, st.st_ino};
            if (std::find(taken.begin(), taken.end(), identity) != taken.end()) continue;
            taken.push_back(identity);
        }
        if (auto name = PackableName(file.filename()))
            candidates.Packable.push_back({file, std::move(*name)});
        else
            candidates.LeftOut.push_back({file, std::string(kUnpackableName)});
    }
    return candidates;
}

bool AddClashes(const ArchiveModel& directory, std::span<const PackableFile> files) {
    const std::vector<std::string> sorted = ListedNames(directory, TypeFilter::All);
    return std::any_of(files.begin(), files.end(),
                       [&](const PackableFile& file) { return BSearch(sorted, file.Name) >= 0; });
}

EditResult AddFiles(const EditLock& archive, const ArchiveModel& seen, std::span<const PackableFile> files,
                    const EditProgress& progress, UndoStep* undo) {
    if (files.empty()) return {false, false, seen.EntryCount, seen.FileSize};
    const ArchiveModel dir = ReadUnchangedDirectory(archive, seen);
    const std::int64_t n = dir.EntryCount;
    const auto k = static_cast<std::int64_t>(files.size());
    CheckArchiveLimits(n + k, 0);
    std::vector<PackSource> sources;
    for (const PackableFile& file : files)
        sources.push_back(SourceToPack(file.Path));

    if (AddClashes(dir, files)) {
        // A file takes the place of the first entry of its name; the others follow the old entries.
        std::vector<std::optional<std::int32_t>> replacement(static_cast<std::size_t>(n));
        std::vector<std::int32_t> appended;
        for (std::int32_t j = 0; j < static_cast<std::int32_t>(k); ++j) {
            const auto index = dir.FindEntry(files[j].Name);
            if (index && !replacement[static_cast<std::size_t>(*index)])
                replacement[static_cast<std::size_t>(*index)] = j;
            else
                appended.push_back(j);
        }
        std::vector<PlannedEntry> entries;
        for (std::int32_t i = 0; i < n; ++i) {
            const auto j = replacement[static_cast<std::size_t>(i)];
            entries.push_back(j ? FileUnderName(dir.NameField(i), *j, sources) : KeepEntry(dir, i));
        }
        for (const std::int32_t j : appended)
            entries.push_back(FileUnderName(NameFieldOf(files[j].Name), j, sources));
        EditResult result = Rebuild(archive, entries, sources, progress, undo);
        result.Repacked = true;
        return result;
    }

    // What appending in place gives: the old directory with every data offset moved past the k new records,
    // the new records, the old data area as it stands, then the new files.
    std::int64_t size = dir.FileSize + kRecordSize * k;
    for (const PackSource& source : sources)
        size += source.Size;
    CheckArchiveLimits(n + k, size);
    RequireSameBytesAfterAppend(dir, k, size);
    std::vector<std::uint8_t> head = dir.Head;
    const std::vector<std::uint8_t> count = CountBytes(n + k);
    std::copy(count.begin(), count.end(), head.begin());
    const auto shift = static_cast<std::uint32_t>(kRecordSize * k);
    for (std::int32_t i = 0; i < n; ++i)
        PutU32At(head, RecordStart(i) + kOffsetField, dir.DataOffset(i) + shift);
    auto offset = static_cast<std::uint32_t>(dir.FileSize + kRecordSize * k);
    std::vector<DataPiece> pieces{{kOldArchive, DirectoryEnd(n), dir.FileSize - DirectoryEnd(n)}};
    for (std::size_t j = 0; j < files.size(); ++j) {
        const auto entrySize = static_cast<std::uint32_t>(sources[j].Size);
        AppendRecord(head, entrySize, files[j].Name, offset);
        pieces.push_back({static_cast<std::int32_t>(j), 0, sources[j].Size});
        offset += entrySize;
    }
    const WriteResult written =
        WriteArchiveFile(archive.path(), head, pieces, &archive.file(), sources, progress, undo);
    return {true, false, static_cast<std::int32_t>(n + k), written.FileSize, written.OtherLinks};
}

EditResult RemoveEntries(const EditLock& archive, const ArchiveModel& seen,
                         std::span<const std::int32_t> indices, const EditProgress& progress,
                         UndoStep* undo) {
    EditResult result{false, false, seen.EntryCount, seen.FileSize};
    if (indices.empty()) return result;
    std::vector<bool> removed(static_cast<std::size_t>(seen.EntryCount));
    for (const std::int32_t index : indices) {
        if (index < 0 || index >= seen.EntryCount)
            throw KelvotError(EINVAL,
                              archive.shown().string() + " has no entry " + std::to_string(index) + ".");
        removed[static_cast<std::size_t>(index)] = true;
    }
    if (std::find(removed.begin(), removed.end(), false) == removed.end())
        throw KelvotError(EINVAL, "You cannot remove every file in the DAT file.");

    const ArchiveModel dir = ReadUnchangedDirectory(archive, seen);
    std::vector<PlannedEntry> entries;
    for (std::int32_t i = 0; i < dir.EntryCount; ++i)
        if (!removed[static_cast<std::size_t>(i)]) entries.push_back(KeepEntry(dir, i));
    return Rebuild(archive, entries, {}, progress, undo);
}

EditResult ReplaceEntry(const EditLock& archive, const ArchiveModel& seen, std::int32_t index,
                        const fs::path& file, const EditProgress& progress, UndoStep* undo) {
    if (index < 0 || index >= seen.EntryCount)
        throw KelvotError(EINVAL, archive.shown().string() + " has no entry " + std::to_string(index) + ".");
    const ArchiveModel dir = ReadUnchangedDirectory(archive, seen);
    const PackSource source = SourceToPack(file);
    std::vector<PlannedEntry> entries;
    for (std::int32_t i = 0; i < dir.EntryCount; ++i)
        entries.push_back(i == index ? FileUnderName(dir.NameField(i), 0, {&source, 1}) : KeepEntry(dir, i));
    return Rebuild(archive, entries, {&source, 1}, progress, undo);
}

void RenameEntry(const EditLock& archive, const ArchiveModel& seen, std::int64_t nameFieldOffset,
                 std::string_view newName, UndoStep* undo) {
    const std::string shown = archive.shown().string();
    if (!IsWritableEntryName(newName))
        throw KelvotError(EINVAL, "\"" + PrintableName(newName) + "\" cannot be the name of an entry.");
    const std::int64_t fromFirst = nameFieldOffset - RecordStart(0) - kNameField;
    if (fromFirst < 0 || fromFirst % kRecordSize != 0 || fromFirst / kRecordSize >= seen.EntryCount)
        throw KelvotError(EINVAL, "Offset " + std::to_string(nameFieldOffset) +
                                      " is not the name field of an entry of " + shown + ".");
    // In a damaged archive an entry's data may lie over the directory; writing the name would change it.
    for (std::int32_t i = 0; i < seen.EntryCount; ++i) {
        const std::int64_t begin = seen.DataOffset(i);
        if (begin < nameFieldOffset + kNameFieldSize && nameFieldOffset < begin + seen.DataSize(i))
            throw KelvotError(EINVAL,
                              "The name cannot be changed: the data of entry " + std::to_string(i) + " (\"" +
                                  PrintableName(seen.Directory.EntryNames[static_cast<std::size_t>(i)]) +
                                  "\") lies over it in the directory. Nothing was changed.");
    }

    // A read-only archive is made writable for the write, and read-only again if the write fails.
    const fs::path& path = archive.path();
    struct stat before {};
    if (::fstat(archive.file().fd(), &before) != 0) throw SystemError(errno, "Cannot open", shown);
    ClearReadOnlyAttributes(path);
    try {
        FileHandle file = OpenForUpdate(path);
        file = FileHandle(file.Release(), path, archive.shown());
        if (IdentityOf(file) != IdentityOf(archive.file())) throw ChangedSinceOpened(archive.shown());
        RequireUnchanged(ReadDirectoryFrom(file), seen, archive.shown());
        const NameFieldBytes field = NameFieldOf(newName);
        WriteBytesAt(file, nameFieldOffset, field);
        FlushFile(file);
        if (undo) {
            const auto at = seen.Head.begin() + nameFieldOffset;
            ArchiveState after{IdentityOf(file), seen.FileSize, seen.Head};
            std::copy(field.begin(), field.end(), after.Head.begin() + nameFieldOffset);
            undo->RenamedInPlace(path, nameFieldOffset,
                                 std::span<const std::uint8_t, kNameFieldSize>(at, at + kNameFieldSize),
                                 before.st_mode & 07777, std::move(after));
        }
    } catch (...) {
        ::fchmod(archive.file().fd(), before.st_mode & 07777);
        throw;
    }
}

} // namespace kelvot
