#pragma once

// The open archive held in memory: the whole file, its directory as parallel columns in directory
// order, and the catalogue from name (letter case ignored) to the first entry of that name.

#include "archive/dat_format.h"

#include <cstdint>
#include <filesystem>
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
    std::optional<std::int32_t> FirstIndex(std::string_view name) const;

  private:
    std::unordered_map<std::string, std::int32_t> first_;
};

struct ArchiveModel {
    std::vector<std::uint8_t> ArchiveImage;
    std::int32_t EntryCount = 0;
    DirectoryTable Directory;
    TypeCatalogue Catalogue;

    // The first entry whose name equals `name` ignoring letter case.
    std::optional<std::int32_t> FindEntry(std::string_view name) const { return Catalogue.FirstIndex(name); }
    // The type of the first entry of that name.
    std::optional<EntryType> TypeOf(std::string_view name) const;
    // Whether the entry's bytes lie wholly inside the file.
    bool EntryInsideFile(std::int32_t index) const;
    // The entry's bytes, cut to the part that lies inside the file (empty if none does).
    std::span<const std::uint8_t> EntryBytes(std::int32_t index) const;
};

// The whole file, read at once.
std::vector<std::uint8_t> ReadArchiveImage(const std::filesystem::path& path);

// Parses a file's bytes into the model. Throws KelvotError when the bytes cannot be an archive:
// shorter than the entry count, a count of 0 or less, or a directory that runs past the end.
ArchiveModel LoadArchive(std::vector<std::uint8_t> image);
ArchiveModel LoadArchive(const std::filesystem::path& path);

} // namespace kelvot
