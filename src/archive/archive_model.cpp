#include "archive/archive_model.h"

#include "archive/codepage.h"
#include "archive/error.h"
#include "archive/file_system.h"

#include <algorithm>
#include <numeric>

namespace kelvot {

namespace {

// Checks the count and the directory's extent against the file's length, with the loader's messages.
// `head` holds the file's first bytes, at least the count's two when the file has them.
std::int16_t CheckedCount(std::span<const std::uint8_t> head, std::int64_t fileSize) {
    if (fileSize == 0) throw KelvotError(kDamagedArchive, "The file is empty.");
    if (fileSize < kCountSize)
        throw KelvotError(kDamagedArchive, "The file is too short to hold an entry count.");
    const auto count = static_cast<std::int16_t>(ReadU16(head, 0));
    if (count <= 0)
        throw KelvotError(kDamagedArchive, "The entry count of the file is " + std::to_string(count) +
                                               "; an archive holds 1 to 32767 entries.");
    if (DirectoryEnd(count) > fileSize)
        throw KelvotError(kDamagedArchive, "The directory of " + std::to_string(count) + " entries needs " +
                                               std::to_string(DirectoryEnd(count)) +
                                               " bytes, but the file holds only " + std::to_string(fileSize) +
                                               ".");
    return count;
}

// Every column but the types, from the count and directory in `head`.
void ReadDirectory(ArchiveListing& listing, std::span<const std::uint8_t> head, std::int64_t fileSize,
                   std::int16_t count) {
    listing.FileSize = fileSize;
    listing.EntryCount = count;
    DirectoryTable& dir = listing.Directory;
    dir.EntryNames.resize(count);
    dir.EntrySizes.resize(count);
    dir.EntryOffsets.resize(count);
    dir.NameFieldOffsets.resize(count);
    dir.EntryTypes.resize(count);
    listing.Catalogue.Reserve(count);
    for (std::int32_t i = 0; i < count; ++i) {
        const std::int64_t record = RecordStart(i);
        dir.EntrySizes[i] = static_cast<std::int32_t>(ReadU32(head, record + kSizeField));
        dir.EntryOffsets[i] = static_cast<std::int32_t>(ReadU32(head, record + kOffsetField));
        dir.NameFieldOffsets[i] = static_cast<std::int32_t>(record + kNameField);
        dir.EntryNames[i] = DecodeEntryName(head.subspan(record + kNameField).first<kNameFieldSize>());
        listing.Catalogue.Add(dir.EntryNames[i], i);
    }
}

// A read of nearby type bytes takes in the gap between them rather than calling the system again, up to
// this much in one read.
constexpr std::int64_t kTypeGap = 4096;
constexpr std::int64_t kTypeReadLimit = std::int64_t{1} << 20;

// The types from the bytes at the entries' offsets, read from the file in offset order. Offsets are the
// signed values the model holds; one outside the file gives no byte, as ClassifyEntry reads it.
void ReadTypes(ArchiveListing& listing, const FileHandle& file) {
    const auto& offsets = listing.Directory.EntryOffsets;
    auto& types = listing.Directory.EntryTypes;
    const std::int64_t fileSize = listing.FileSize;
    std::vector<std::int32_t> order(offsets.size());
    std::iota(order.begin(), order.end(), 0);
    auto byOffset = [&](std::int32_t a, std::int32_t b) { return offsets[a] < offsets[b]; };
    if (!std::is_sorted(order.begin(), order.end(), byOffset))
        std::sort(order.begin(), order.end(), byOffset);

    std::vector<std::uint8_t> bytes;
    for (std::size_t k = 0; k < order.size();) {
        const std::int64_t start = offsets[order[k]];
        if (start < 0 || start >= fileSize) {
            types[order[k++]] = ClassifyEntry({}, 0);
            continue;
        }
        std::int64_t end = std::min(start + 4, fileSize);
        std::size_t m = k + 1;
        for (; m < order.size(); ++m) {
            const std::int64_t next = offsets[order[m]];
            if (next >= fileSize || next - end > kTypeGap || next + 4 - start > kTypeReadLimit) break;
            end = std::max(end, std::min(next + 4, fileSize));
        }
        bytes.resize(static_cast<std::size_t>(end - start));
        ReadExactly(file, start, bytes);
        for (; k < m; ++k)
            types[order[k]] = ClassifyEntry(bytes, offsets[order[k]] - start);
    }
}

} // namespace

void TypeCatalogue::Add(std::string_view name, std::int32_t index) {
    first_.try_emplace(FoldName(name), index);
}

void TypeCatalogue::Reserve(std::size_t names) {
    first_.reserve(names);
}

std::optional<std::int32_t> TypeCatalogue::FirstIndex(std::string_view name) const {
    const auto it = first_.find(FoldName(name));
    if (it == first_.end()) return std::nullopt;
    return it->second;
}

std::optional<EntryType> ArchiveListing::TypeOf(std::string_view name) const {
    const auto index = FindEntry(name);
    if (!index) return std::nullopt;
    return Directory.EntryTypes[*index];
}

bool ArchiveListing::EntryInsideFile(std::int32_t index) const {
    return DataInsideFile(static_cast<std::uint32_t>(Directory.EntryOffsets[index]),
                          static_cast<std::uint32_t>(Directory.EntrySizes[index]), FileSize);
}

FileRange ArchiveListing::EntryRange(std::int32_t index) const {
    // The columns hold the record's unsigned fields as signed numbers.
    const std::int64_t offset = static_cast<std::uint32_t>(Directory.EntryOffsets[index]);
    const std::int64_t size = static_cast<std::uint32_t>(Directory.EntrySizes[index]);
    if (offset >= FileSize) return {};
    return {offset, std::min(FileSize, offset + size) - offset};
}

std::span<const std::uint8_t> ArchiveModel::EntryBytes(std::int32_t index) const {
    const FileRange range = EntryRange(index);
    return std::span<const std::uint8_t>(ArchiveImage)
        .subspan(static_cast<std::size_t>(range.Offset), static_cast<std::size_t>(range.Length));
}

std::vector<std::uint8_t> ReadArchiveImage(const std::filesystem::path& path) {
    return ReadWholeFile(path);
}

ArchiveModel LoadArchive(std::vector<std::uint8_t> image) {
    const auto fileSize = static_cast<std::int64_t>(image.size());
    const std::int16_t count = CheckedCount(image, fileSize);
    ArchiveModel model;
    ReadDirectory(model, image, fileSize, count);
    for (std::int32_t i = 0; i < count; ++i)
        model.Directory.EntryTypes[i] = ClassifyEntry(image, model.Directory.EntryOffsets[i]);
    model.ArchiveImage = std::move(image);
    return model;
}

ArchiveModel LoadArchive(const std::filesystem::path& path) {
    return LoadArchive(ReadArchiveImage(path));
}

ArchiveListing LoadArchiveListing(const std::filesystem::path& path) {
    const FileHandle file = OpenForReading(path);
    const std::int64_t fileSize = FileSize(file);
    std::vector<std::uint8_t> head(static_cast<std::size_t>(std::min(fileSize, kCountSize)));
    ReadExactly(file, 0, head);
    const std::int16_t count = CheckedCount(head, fileSize);
    head.resize(static_cast<std::size_t>(DirectoryEnd(count)));
    ReadExactly(file, kCountSize, std::span(head).subspan(kCountSize));
    ArchiveListing listing;
    ReadDirectory(listing, head, fileSize, count);
    ReadTypes(listing, file);
    return listing;
}

EntryReader::EntryReader(const ArchiveListing& listing, const std::filesystem::path& archive)
    : listing_(listing), file_(OpenForReading(archive)) {}

std::span<const std::uint8_t> EntryReader::Read(std::int32_t index, std::int64_t limit) {
    const FileRange range = listing_.EntryRange(index);
    buffer_.resize(static_cast<std::size_t>(std::min(range.Length, limit)));
    ReadExactly(file_, range.Offset, buffer_);
    return buffer_;
}

} // namespace kelvot
