#include "archive/archive_model.h"

#include "archive/codepage.h"
#include "archive/error.h"
#include "archive/file_system.h"

#include <algorithm>
#include <ctime>
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
void ReadDirectory(ArchiveModel& model, std::span<const std::uint8_t> head, std::int64_t fileSize,
                   std::int16_t count) {
    model.FileSize = fileSize;
    model.EntryCount = count;
    DirectoryTable& dir = model.Directory;
    dir.EntryNames.resize(count);
    dir.EntrySizes.resize(count);
    dir.EntryOffsets.resize(count);
    dir.NameFieldOffsets.resize(count);
    model.Catalogue.Reserve(count);
    for (std::int32_t i = 0; i < count; ++i) {
        const std::int64_t record = RecordStart(i);
        dir.EntrySizes[i] = static_cast<std::int32_t>(ReadU32(head, record + kSizeField));
        dir.EntryOffsets[i] = static_cast<std::int32_t>(ReadU32(head, record + kOffsetField));
        dir.NameFieldOffsets[i] = static_cast<std::int32_t>(record + kNameField);
        dir.EntryNames[i] = DecodeEntryName(head.subspan(record + kNameField).first<kNameFieldSize>());
        model.Catalogue.Add(dir.EntryNames[i], i);
    }
}

// A read of nearby type bytes takes in the gap between them rather than calling the system again, up to
// this much in one read.
constexpr std::int64_t kTypeGap = 4096;
constexpr std::int64_t kTypeReadLimit = std::int64_t{1} << 20;
// Type bytes further apart than this are fetched as pages of their own rather than read through.
constexpr std::int64_t kAdviseGap = 16 << 10;

// The types from the bytes at the entries' offsets, read from the file in offset order. Offsets are the
// signed values the model holds; one outside the file gives no byte, as ClassifyEntry reads it.
void ReadTypes(ArchiveModel& model, const FileHandle& file) {
    const auto& offsets = model.Directory.EntryOffsets;
    auto& types = model.Directory.EntryTypes;
    types.resize(offsets.size());
    const std::int64_t fileSize = model.FileSize;
    std::vector<std::int32_t> order(offsets.size());
    std::iota(order.begin(), order.end(), 0);
    auto byOffset = [&](std::int32_t a, std::int32_t b) { return offsets[a] < offsets[b]; };
    if (!std::is_sorted(order.begin(), order.end(), byOffset))
        std::sort(order.begin(), order.end(), byOffset);

    // The reads, each of the type bytes of order[First] up to order[Last] (exclusive).
    struct Piece {
        std::int64_t Start, End;
        std::size_t First, Last;
    };
    std::vector<Piece> pieces;
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
        pieces.push_back({start, end, k, m});
        k = m;
    }
    // Pieces far apart are asked for all at once, so those not yet in memory come from the disk together:
    // read cold one at a time, each would wait for the last. Pieces close together are left to the
    // system's read-ahead, which reads through such runs faster than it fetches pages one by one.
    for (std::size_t p = 0; p < pieces.size(); ++p)
        if (p == 0 || pieces[p].Start - pieces[p - 1].End > kAdviseGap)
            AdviseWillRead(file, pieces[p].Start, pieces[p].End - pieces[p].Start);
    std::vector<std::uint8_t> bytes;
    for (const Piece& piece : pieces) {
        bytes.resize(static_cast<std::size_t>(piece.End - piece.Start));
        ReadExactly(file, piece.Start, bytes);
        for (std::size_t k = piece.First; k < piece.Last; ++k)
            types[order[k]] = ClassifyEntry(bytes, offsets[order[k]] - piece.Start);
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

std::optional<std::int32_t> ArchiveModel::FindEntryByText(std::string_view text) const {
    const auto name = Utf8ToCp1252(text);
    return name ? FindEntry(*name) : std::nullopt;
}

std::int32_t ArchiveModel::EntryNamed(std::string_view text) const {
    const auto index = FindEntryByText(text);
    if (!index) throw KelvotError(kNoSuchEntry, "No entry is named \"" + std::string(text) + "\".");
    return *index;
}

std::optional<EntryType> ArchiveModel::TypeOf(std::string_view name) const {
    const auto index = FindEntry(name);
    if (!index) return std::nullopt;
    return Directory.EntryTypes[*index];
}

std::uint32_t ArchiveModel::DataOffset(std::int32_t index) const {
    return ReadU32(Head, static_cast<std::size_t>(RecordStart(index) + kOffsetField));
}

std::uint32_t ArchiveModel::DataSize(std::int32_t index) const {
    return ReadU32(Head, static_cast<std::size_t>(RecordStart(index) + kSizeField));
}

std::span<const std::uint8_t, kNameFieldSize> ArchiveModel::NameField(std::int32_t index) const {
    return std::span<const std::uint8_t>(Head)
        .subspan(static_cast<std::size_t>(RecordStart(index) + kNameField))
        .first<kNameFieldSize>();
}

bool ArchiveModel::EntryInsideFile(std::int32_t index) const {
    return DataInsideFile(DataOffset(index), DataSize(index), FileSize);
}

FileRange ArchiveModel::EntryRange(std::int32_t index) const {
    const std::int64_t offset = DataOffset(index);
    const std::int64_t size = DataSize(index);
    if (offset >= FileSize) return {};
    return {offset, std::min(FileSize, offset + size) - offset};
}

std::vector<std::uint8_t> ReadArchiveHead(const FileHandle& file, std::int64_t fileSize) {
    std::vector<std::uint8_t> head(static_cast<std::size_t>(std::min(fileSize, kCountSize)));
    ReadExactly(file, 0, head);
    if (head.size() == kCountSize) {
        const auto count = static_cast<std::int16_t>(ReadU16(head, 0));
        head.resize(static_cast<std::size_t>(std::clamp(DirectoryEnd(count), kCountSize, fileSize)));
        ReadExactly(file, kCountSize, std::span(head).subspan(kCountSize));
    }
    return head;
}

namespace {

// The count and directory of the file, without the types.
ArchiveModel ReadCountAndDirectory(const FileHandle& file) {
    const FileStamp stamp = StampOf(file);
    const std::int64_t fileSize = stamp.Size;
    std::vector<std::uint8_t> head = ReadArchiveHead(file, fileSize);
    const std::int16_t count = CheckedCount(head, fileSize);
    ArchiveModel model;
    model.Stamp = stamp;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    model.Settled = now.tv_sec * 1'000'000'000LL + now.tv_nsec - stamp.ChangedNs > 1'000'000'000LL;
    ReadDirectory(model, head, fileSize, count);
    model.Head = std::move(head);
    return model;
}

} // namespace

ArchiveModel LoadArchive(const FileHandle& file, EntryTyping typing) {
    ArchiveModel model = ReadCountAndDirectory(file);
    if (typing == EntryTyping::Read) ReadTypes(model, file);
    return model;
}

bool UnchangedSince(const ArchiveModel& now, const ArchiveModel& before) {
    return before.Settled && now.Stamp == before.Stamp && now.Head == before.Head;
}

ArchiveModel ReloadArchive(const FileHandle& file, const ArchiveModel& previous) {
    ArchiveModel model = ReadCountAndDirectory(file);
    if (UnchangedSince(model, previous) &&
        previous.Directory.EntryTypes.size() == previous.Directory.EntryNames.size())
        model.Directory.EntryTypes = previous.Directory.EntryTypes;
    else
        ReadTypes(model, file);
    return model;
}

ArchiveModel LoadArchive(const std::filesystem::path& path) {
    return LoadArchive(OpenForReading(path));
}

std::span<const std::uint8_t> EntryReader::Read(std::int32_t index, std::int64_t limit) {
    const FileRange range = model_.EntryRange(index);
    buffer_.resize(static_cast<std::size_t>(std::min(range.Length, limit)));
    ReadExactly(file_, range.Offset, buffer_);
    return buffer_;
}

} // namespace kelvot
