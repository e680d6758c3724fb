// Any bytes as an archive file: the loader, the list in every filter's order, verify, and the seven
// status-bar texts of every line, as the window and `kelvot-cli list`, `info` and `verify` use them. The
// types and entries the loader reads by range must agree byte for byte with the input read directly, and
// the directory the edits read (without types) with the loader's.

#include "archive/archive_model.h"
#include "archive/codepage.h"
#include "archive/error.h"
#include "archive/extract.h"
#include "archive/list_order.h"
#include "archive/verify.h"
#include "check.h"
#include "export/picture_export.h"
#include "images/status_text.h"

#include <algorithm>
#include <sys/mman.h>
#include <unistd.h>

using namespace kelvot;
using kelvot::fuzz::IsUtf8;

namespace {

// The input as a file, in memory: written afresh for each input into one memfd, opened by its path.
std::filesystem::path AsFile(const std::vector<std::uint8_t>& bytes) {
    static const int fd = ::memfd_create("archive", 0);
    FUZZ_CHECK(fd >= 0);
    FUZZ_CHECK(::ftruncate(fd, 0) == 0);
    FUZZ_CHECK(::pwrite(fd, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size()));
    return "/proc/self/fd/" + std::to_string(fd);
}

// Every type and entry read by range is what the bytes give when read directly; the edits' directory
// read is the loader's without the types.
void CheckReads(const std::vector<std::uint8_t>& bytes, const ArchiveModel& model, const FileHandle& file) {
    FUZZ_CHECK(model.FileSize == static_cast<std::int64_t>(bytes.size()));
    EntryReader reader(model, file);
    for (std::int32_t i = 0; i < model.EntryCount; ++i) {
        FUZZ_CHECK(model.Directory.EntryTypes[i] == ClassifyEntry(bytes, model.Directory.EntryOffsets[i]));
        const auto read = reader.Read(i);
        const std::uint64_t offset = model.DataOffset(i);
        const std::uint64_t end = std::min<std::uint64_t>(bytes.size(), offset + model.DataSize(i));
        if (offset >= bytes.size())
            FUZZ_CHECK(read.empty());
        else
            FUZZ_CHECK(std::equal(read.begin(), read.end(), bytes.begin() + offset, bytes.begin() + end));
    }
    const ArchiveModel directory = LoadArchive(file, EntryTyping::Skipped);
    FUZZ_CHECK(directory.Head == model.Head && directory.Directory.EntryNames == model.Directory.EntryNames);
    FUZZ_CHECK(directory.Directory.EntryOffsets == model.Directory.EntryOffsets);
    FUZZ_CHECK(directory.Directory.EntrySizes == model.Directory.EntrySizes);
}

void CheckLines(const ArchiveModel& model, const std::vector<std::int32_t>& lines) {
    const auto& names = model.Directory.EntryNames;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        FUZZ_CHECK(lines[k] >= 0 && lines[k] < model.EntryCount);
        if (k > 0) FUZZ_CHECK(CompareNamesIgnoringCase(names[lines[k - 1]], names[lines[k]]) <= 0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> bytes(data, data + size);
    const std::vector<std::string> problems = VerifyArchive(bytes, static_cast<std::int64_t>(bytes.size()));
    for (const std::string& problem : problems)
        FUZZ_CHECK(IsUtf8(problem));
    // The count and directory alone give the same verdict as the whole file.
    if (size >= 2) {
        const std::int64_t count = static_cast<std::int16_t>(ReadU16(bytes, 0));
        const auto head = std::clamp<std::int64_t>(DirectoryEnd(count), 2, static_cast<std::int64_t>(size));
        FUZZ_CHECK(VerifyArchive(std::span(bytes).first(static_cast<std::size_t>(head)),
                                 static_cast<std::int64_t>(size)) == problems);
    }

    const FileHandle file = OpenForReading(AsFile(bytes));
    ArchiveModel model;
    try {
        model = LoadArchive(file);
    } catch (const KelvotError& e) {
        FUZZ_CHECK(!problems.empty()); // what cannot be opened is not sound either
        FUZZ_CHECK(IsUtf8(e.what()));
        return 0;
    }
    CheckReads(bytes, model, file);
    const DirectoryTable& dir = model.Directory;
    FUZZ_CHECK(model.EntryCount >= 1 && model.EntryCount <= kMaxEntryCount);
    FUZZ_CHECK(dir.EntryNames.size() == static_cast<std::size_t>(model.EntryCount));
    FUZZ_CHECK(dir.EntryTypes.size() == dir.EntryNames.size());

    for (const TypeFilter filter : kTypeFilters)
        CheckLines(model, ListedEntries(model, filter));
    const std::vector<std::int32_t> lines = ListedEntries(model, TypeFilter::All);
    FUZZ_CHECK(lines.size() == static_cast<std::size_t>(model.EntryCount));

    const auto count = static_cast<std::int32_t>(lines.size());
    std::int32_t currentSize = 0;
    EntryReader reader(model, file);
    for (std::int32_t k = 0; k < count; ++k) {
        const std::string& name = dir.EntryNames[lines[k]];
        FUZZ_CHECK(IsUtf8(Cp1252ToUtf8(name)));
        // The window's click: the first entry of the line's name is the one shown.
        const auto index = model.FindEntry(name);
        FUZZ_CHECK(index && *index <= lines[k]);
        const EntryBytes entry = reader.Read(*index);
        if (model.EntryInsideFile(*index))
            FUZZ_CHECK(entry.size() == static_cast<std::size_t>(dir.EntrySizes[*index]));
        currentSize = dir.EntrySizes[*index];
        for (const auto& panel :
             StatusPanelTexts({dir.EntryTypes[*index], name, entry, currentSize, k + 1, count}, "."))
            FUZZ_CHECK(IsUtf8(panel));
    }
    // A line whose name no entry has keeps the last entry's size.
    for (const auto& panel : StatusPanelTexts({std::nullopt, "\xFF\x80", {}, currentSize, 1, count}, ","))
        FUZZ_CHECK(IsUtf8(panel));

    // What export writes for "every picture".
    for (const std::int32_t i : PictureEntries(model))
        FUZZ_CHECK(IsPicture(dir.EntryTypes[i]));
    return 0;
}
