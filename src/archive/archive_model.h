#pragma once

// The open archive: its directory as parallel columns in directory order, the catalogue from name
// (letter case ignored) to the first entry of that name, and (when loaded whole) the file's bytes.

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

// An archive's count and directory without its entries' bytes: all that the list, name lookups and
// extraction need. The command line reads entries by range (EntryReader) from a listing alone.
struct ArchiveListing {
    std::int64_t FileSize = 0; // the archive file's length when it was read
    std::int32_t EntryCount = 0;
    DirectoryTable Directory;
    TypeCatalogue Catalogue;

    // The first entry whose name equals `name` ignoring letter case.
    std::optional<std::int32_t> FindEntry(std::string_view name) const { return Catalogue.FirstIndex(name); }
    // The type of the first entry of that name.
    std::optional<EntryType> TypeOf(std::string_view name) const;
    // Whether the entry's bytes lie wholly inside the file.
    bool EntryInsideFile(std::int32_t index) const;
    // Where the entry's bytes lie, cut to the part inside the file (length 0 if none is).
    FileRange EntryRange(std::int32_t index) const;
};

// The open archive held in memory: its listing and the whole file.
struct ArchiveModel : ArchiveListing {
    std::vector<std::uint8_t> ArchiveImage;

    // The entry's bytes, cut to the part that lies inside the file (empty if none does).
    std::span<const std::uint8_t> EntryBytes(std::int32_t index) const;
};

// The whole file, read at once.
std::vector<std::uint8_t> ReadArchiveImage(const std::filesystem::path& path);

// Parses a file's bytes into the model. Throws KelvotError when the bytes cannot be an archive:
// shorter than the entry count, a count of 0 or less, or a directory that runs past the end.
ArchiveModel LoadArchive(std::vector<std::uint8_t> image);
ArchiveModel LoadArchive(const std::filesystem::path& path);

// The listing of an archive file, read without the entries' bytes: the count and directory, and the
// four bytes at each entry's offset that give its type (nearby ones in one read). The same checks,
// messages and columns as LoadArchive.
ArchiveListing LoadArchiveListing(const std::filesystem::path& path);

// Reads entries' bytes from the archive file by range, through one buffer reused from entry to entry;
// the file is opened once.
class EntryReader {
  public:
    EntryReader(const ArchiveListing& listing, const std::filesystem::path& archive);

    // What ArchiveModel::EntryBytes gives for the entry, or its first `limit` bytes, valid until the next
    // call. Throws KelvotError when the file cannot be read or has become shorter.
    std::span<const std::uint8_t> Read(std::int32_t index,
                                       std::int64_t limit = std::numeric_limits<std::int64_t>::max());
    const FileHandle& file() const { return file_; }

  private:
    const ArchiveListing& listing_;
    FileHandle file_;
    std::vector<std::uint8_t> buffer_;
};

} // namespace kelvot
