#include "archive/archive_model.h"

#include "archive/codepage.h"
#include "archive/error.h"
#include "archive/file_system.h"

#include <cstring>

namespace kelvot {

void TypeCatalogue::Add(std::string_view name, std::int32_t index) {
    first_.try_emplace(FoldName(name), index);
}

std::optional<std::int32_t> TypeCatalogue::FirstIndex(std::string_view name) const {
    const auto it = first_.find(FoldName(name));
    if (it == first_.end()) return std::nullopt;
    return it->second;
}

std::optional<EntryType> ArchiveModel::TypeOf(std::string_view name) const {
    const auto index = FindEntry(name);
    if (!index) return std::nullopt;
    return Directory.EntryTypes[*index];
}

bool ArchiveModel::EntryInsideFile(std::int32_t index) const {
    const std::int64_t offset = Directory.EntryOffsets[index];
    const std::int64_t size = Directory.EntrySizes[index];
    return offset >= 0 && size >= 0 && offset + size <= static_cast<std::int64_t>(ArchiveImage.size());
}

std::span<const std::uint8_t> ArchiveModel::EntryBytes(std::int32_t index) const {
    const std::int64_t fileSize = static_cast<std::int64_t>(ArchiveImage.size());
    const std::int64_t offset = Directory.EntryOffsets[index];
    if (offset < 0 || offset >= fileSize) return {};
    // A size of 2 GiB or more reads as negative; either way the entry cannot run past the file.
    const std::int64_t size = static_cast<std::uint32_t>(Directory.EntrySizes[index]);
    const std::int64_t end = std::min(fileSize, offset + size);
    return std::span<const std::uint8_t>(ArchiveImage).subspan(offset, end - offset);
}

std::vector<std::uint8_t> ReadArchiveImage(const std::filesystem::path& path) {
    return ReadWholeFile(path);
}

ArchiveModel LoadArchive(std::vector<std::uint8_t> image) {
    const std::int64_t fileSize = static_cast<std::int64_t>(image.size());
    if (fileSize == 0) throw KelvotError(kDamagedArchive, "The file is empty.");
    if (fileSize < kCountSize)
        throw KelvotError(kDamagedArchive, "The file is too short to hold an entry count.");
    const auto count = static_cast<std::int16_t>(ReadU16(image, 0));
    if (count <= 0)
        throw KelvotError(kDamagedArchive, "The entry count of the file is " + std::to_string(count) +
                                               "; an archive holds 1 to 32767 entries.");
    if (DirectoryEnd(count) > fileSize)
        throw KelvotError(kDamagedArchive, "The directory of " + std::to_string(count) + " entries needs " +
                                               std::to_string(DirectoryEnd(count)) +
                                               " bytes, but the file holds only " + std::to_string(fileSize) +
                                               ".");

    ArchiveModel model;
    model.EntryCount = count;
    DirectoryTable& dir = model.Directory;
    dir.EntryNames.resize(count);
    dir.EntrySizes.resize(count);
    dir.EntryOffsets.resize(count);
    dir.NameFieldOffsets.resize(count);
    dir.EntryTypes.resize(count);
    const std::span<const std::uint8_t> bytes(image);
    for (std::int32_t i = 0; i < count; ++i) {
        const std::int64_t record = RecordStart(i);
        dir.EntrySizes[i] = static_cast<std::int32_t>(ReadU32(bytes, record + kSizeField));
        dir.EntryOffsets[i] = static_cast<std::int32_t>(ReadU32(bytes, record + kOffsetField));
        dir.NameFieldOffsets[i] = static_cast<std::int32_t>(record + kNameField);
        dir.EntryTypes[i] = ClassifyEntry(bytes, dir.EntryOffsets[i]);
        dir.EntryNames[i] = DecodeEntryName(bytes.subspan(record + kNameField).first<kNameFieldSize>());
        model.Catalogue.Add(dir.EntryNames[i], i);
    }
    model.ArchiveImage = std::move(image);
    return model;
}

ArchiveModel LoadArchive(const std::filesystem::path& path) {
    return LoadArchive(ReadArchiveImage(path));
}

} // namespace kelvot
