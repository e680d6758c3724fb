#include "archive/verify.h"

#include "archive/archive_model.h"
#include "archive/codepage.h"
#include "archive/dat_format.h"
#include "archive/file_ops.h"

#include <algorithm>
#include <numeric>

namespace kelvot {

namespace {

struct Span {
    std::int32_t index;
    std::int64_t begin, end;
};

std::string Describe(std::int32_t index, const std::string& name) {
    return "entry " + std::to_string(index) + " (\"" + PrintableName(name) + "\")";
}

} // namespace

std::vector<std::string> VerifyArchive(std::span<const std::uint8_t> head, std::int64_t fileSize) {
    std::vector<std::string> problems;
    if (fileSize < kCountSize) {
        problems.push_back("the file is " + std::to_string(fileSize) +
                           " bytes long, too short for an entry count");
        return problems;
    }
    const auto count = static_cast<std::int16_t>(ReadU16(head, 0));
    if (count <= 0) {
        problems.push_back("the entry count is " + std::to_string(count) +
                           "; an archive holds 1 to 32767 entries");
        return problems;
    }
    std::int32_t readable = count;
    if (DirectoryEnd(count) > fileSize) {
        problems.push_back("the directory of " + std::to_string(count) + " entries ends at byte " +
                           std::to_string(DirectoryEnd(count)) + ", past the end of the file (" +
                           std::to_string(fileSize) + " bytes)");
        readable = static_cast<std::int32_t>((fileSize - kCountSize) / kRecordSize);
    }

    std::vector<std::string> names(readable);
    std::vector<Span> spans;
    for (std::int32_t i = 0; i < readable; ++i) {
        const std::int64_t record = RecordStart(i);
        names[i] = DecodeEntryName(head.subspan(record + kNameField).first<kNameFieldSize>());
        if (HasControlCharacter(names[i]))
            problems.push_back(Describe(i, names[i]) +
                               ": the name holds control characters and cannot be used as a file name");
        else if (!IsSafeFileName(names[i]))
            problems.push_back(Describe(i, names[i]) + ": the name cannot be used as a file name");
        const std::uint32_t offset = ReadU32(head, record + kOffsetField);
        const std::uint32_t size = ReadU32(head, record + kSizeField);
        if (!DataInsideFile(offset, size, fileSize)) {
            problems.push_back(Describe(i, names[i]) + ": its data (offset " + std::to_string(offset) +
                               ", size " + std::to_string(size) + ") lies outside the file (" +
                               std::to_string(fileSize) + " bytes)");
        } else if (size > 0) {
            if (readable == count && offset < DirectoryEnd(count))
                problems.push_back(Describe(i, names[i]) + ": its data (offset " + std::to_string(offset) +
                                   ", size " + std::to_string(size) +
                                   ") lies inside the count and directory (bytes 0 to " +
                                   std::to_string(DirectoryEnd(count) - 1) + ")");
            spans.push_back({i, offset, std::int64_t{offset} + std::int64_t{size}});
        }
    }

    // Sorted by start, an entry overlaps an earlier one exactly when it starts before the furthest end
    // seen so far; report it against the entry that reaches furthest.
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) {
        return a.begin != b.begin ? a.begin < b.begin : a.index < b.index;
    });
    const Span* furthest = nullptr;
    for (const Span& s : spans) {
        if (furthest && s.begin < furthest->end)
            problems.push_back(Describe(furthest->index, names[furthest->index]) + " and " +
                               Describe(s.index, names[s.index]) + ": their data overlap");
        if (!furthest || s.end > furthest->end) furthest = &s;
    }
    return problems;
}

std::vector<std::string> VerifyArchiveFile(const std::filesystem::path& path) {
    const FileHandle file = OpenForReading(path);
    const std::int64_t fileSize = FileSize(file);
    return VerifyArchive(ReadArchiveHead(file, fileSize), fileSize);
}

} // namespace kelvot
