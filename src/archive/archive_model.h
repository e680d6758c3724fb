#pragma once

// The open archive: its directory as parallel columns in directory order, and the catalogue from name
// (letter case ignored) to the first entry of that name.

#include "archive/dat_format.h"
#include "archive/file_ops.h"

#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kelvot {

struct DirectoryTable {
    std::vector<std::string> EntryNames; // Windows-1252 bytes
    std::vector<std::int32_t> EntrySizes;
    std::vector<std::int32_t> EntryOffsets;
    std::vector<std::int32_t> NameFieldOffsets;
    std::vector<EntryType> EntryTypes;
};

// Name -> first entry of that name in directory order, letter case ignored. The type a name stands
// for is that first entry's type, so later entries of the same name are listed and filtered by it.
class TypeCatalogue {
  public:
    // Keeps the first index given for a name; later ones are skipped.
    void Add(std::string_view name, std::int32_t index);
    // Makes room for this many names at once.
    void Reserve(std::size_t names);
    std::optional<std::int32_t> FirstIndex(std::string_view name) const;

  private:
    std::unordered_map<std::string, std::int32_t> first_;
};

// Where bytes lie in the archive file.
struct FileRange {
    std::int64_t Offset = 0;
    std::int64_t Length = 0;
};

// The open archive: its count and directory, read from the file without the entries' bytes. Entries are
// read by range from the same open file (EntryReader) when they are shown, exported or extracted.
struct ArchiveModel {
    FileStamp Stamp; // the archive file as it was when it was read
    // Whether the file had not changed for a while when it was read. The system keeps change times in steps
    // of a few milliseconds, so a change just after one that was read may leave the stamp as it was.
    bool Settled = false;
    std::int64_t FileSize = 0; // the archive file's length when it was read
    std::int32_t EntryCount = 0;
    std::vector<std::uint8_t> Head; // the count and the directory, as they stand in the file
    DirectoryTable Directory;
    TypeCatalogue Catalogue;

    // The first entry whose name (Windows-1252) equals `name` ignoring letter case.
    std::optional<std::int32_t> FindEntry(std::string_view name) const { return Catalogue.FirstIndex(name); }
    // The same for a name given as text (UTF-8), as a user types it or a list line shows it: text that
    // Windows-1252 cannot write names no entry.
    std::optional<std::int32_t> FindEntryByText(std::string_view text) const;
    // FindEntryByText, or KelvotError "No entry is named "X"." when no entry has the name.
    std::int32_t EntryNamed(std::string_view text) const;
    // The type of the first entry of that name.
    std::optional<EntryType> TypeOf(std::string_view name) const;

    // The record's fields as stored (unsigned), and its 13 name bytes.
    std::uint32_t DataOffset(std::int32_t index) const;
    std::uint32_t DataSize(std::int32_t index) const;
    std::span<const std::uint8_t, kNameFieldSize> NameField(std::int32_t index) const;
    // Whether the entry's bytes lie wholly inside the file.
    bool EntryInsideFile(std::int32_t index) const;
    // Where the entry's bytes lie, cut to the part inside the file (length 0 if none is).
    FileRange EntryRange(std::int32_t index) const;
};

// Whether LoadArchive reads each entry's first bytes to know its type. The edits need only the directory;
// without the types, Directory.EntryTypes stays empty.
enum class EntryTyping { Read, Skipped };

// The count and as much of the directory as the file holds, as they stand in the file: all that verify
// and the loader read of it.
std::vector<std::uint8_t> ReadArchiveHead(const FileHandle& file, std::int64_t fileSize);

// Reads the model from the open archive file: the count, the directory and the four bytes at each entry's
// offset that give its type (nearby ones in one read). Throws KelvotError when the file cannot be an
// archive: shorter than the entry count, a count of 0 or less, or a directory that runs past the end.
ArchiveModel LoadArchive(const FileHandle& file, EntryTyping typing = EntryTyping::Read);
ArchiveModel LoadArchive(const std::filesystem::path& path);
// LoadArchive again, for a file read before: when it is still the file `previous` was read from, unchanged
// since (the same stamp and directory bytes), the types are taken from `previous` rather than read again.
ArchiveModel ReloadArchive(const FileHandle& file, const ArchiveModel& previous);
// Whether `now` was read from the file `before` was read from, unchanged since (ReloadArchive's test).
bool UnchangedSince(const ArchiveModel& now, const ArchiveModel& before);

// Reads entries' bytes from the archive file the model was read from, by range, through one buffer
// reused from entry to entry.
class EntryReader {
  public:
    EntryReader(const ArchiveModel& model, const FileHandle& file) : model_(model), file_(file) {}

    // The entry's bytes, cut to the part that lies inside the file (empty if none does), or its first
    // `limit` bytes; valid until the next call. Throws KelvotError when the file cannot be read or has
    // become shorter.
    std::span<const std::uint8_t> Read(std::int32_t index,
                                       std::int64_t limit = std::numeric_limits<std::int64_t>::max());

  private:
    const ArchiveModel& model_;
    const FileHandle& file_;
    std::vector<std::uint8_t> buffer_;
};

} // namespace kelvot
