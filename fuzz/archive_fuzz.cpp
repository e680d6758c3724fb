// Any bytes as an archive file: the loader, the list in every filter's order, verify, and the seven
// status-bar texts of every line, as the window and `kelvot-cli list`, `info` and `verify` use them; and
// the listing the command line reads from the file without the entries' bytes, which must agree with the
// whole load column for column and byte for byte.

#include "archive/archive_model.h"
#include "archive/codepage.h"
#include "archive/error.h"
#include "archive/extract.h"
#include "archive/list_order.h"
#include "archive/verify.h"
#include "check.h"
#include "editing/archive_edit.h"
#include "export/picture_export.h"
#include "images/status_text.h"

#include <algorithm>
#include <sys/mman.h>
#include <unistd.h>

using namespace kelvot;
using kelvot::fuzz::IsUtf8;

namespace {

constexpr TypeFilter kFilters[] = {TypeFilter::ThreeDO, TypeFilter::MIP,       TypeFilter::PBF,
                                   TypeFilter::SRB,     TypeFilter::AllImages, TypeFilter::All};

// The input as a file, in memory: written afresh for each input into one memfd, opened by its path.
std::filesystem::path AsFile(const std::vector<std::uint8_t>& bytes) {
    static const int fd = ::memfd_create("archive", 0);
    FUZZ_CHECK(fd >= 0);
    FUZZ_CHECK(::ftruncate(fd, 0) == 0);
    FUZZ_CHECK(::pwrite(fd, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size()));
    return "/proc/self/fd/" + std::to_string(fd);
}

// What the command line reads of the file by itself agrees with the whole load, refusals included.
void CheckListing(const std::vector<std::uint8_t>& bytes, const ArchiveModel* model,
                  const std::string& refusal) {
    const std::filesystem::path file = AsFile(bytes);
    ArchiveListing listing;
    try {
        listing = LoadArchiveListing(file);
    } catch (const KelvotError& e) {
        FUZZ_CHECK(!model && refusal == e.what());
        return;
    }
    FUZZ_CHECK(model != nullptr);
    FUZZ_CHECK(listing.FileSize == static_cast<std::int64_t>(bytes.size()));
    FUZZ_CHECK(listing.EntryCount == model->EntryCount);
    FUZZ_CHECK(listing.Directory.EntryNames == model->Directory.EntryNames);
    FUZZ_CHECK(listing.Directory.EntrySizes == model->Directory.EntrySizes);
    FUZZ_CHECK(listing.Directory.EntryOffsets == model->Directory.EntryOffsets);
    FUZZ_CHECK(listing.Directory.NameFieldOffsets == model->Directory.NameFieldOffsets);
    FUZZ_CHECK(listing.Directory.EntryTypes == model->Directory.EntryTypes);
    EntryReader reader(listing, file);
    for (std::int32_t i = 0; i < listing.EntryCount; ++i) {
        const auto read = reader.Read(i);
        const auto held = model->EntryBytes(i);
        FUZZ_CHECK(std::equal(read.begin(), read.end(), held.begin(), held.end()));
    }
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

    ArchiveModel model;
    try {
        model = LoadArchive(bytes);
    } catch (const KelvotError& e) {
        FUZZ_CHECK(!problems.empty()); // what cannot be opened is not sound either
        FUZZ_CHECK(IsUtf8(e.what()));
        CheckListing(bytes, nullptr, e.what());
        return 0;
    }
    CheckListing(bytes, &model, {});
    const DirectoryTable& dir = model.Directory;
    FUZZ_CHECK(model.EntryCount >= 1 && model.EntryCount <= kMaxEntryCount);
    FUZZ_CHECK(dir.EntryNames.size() == static_cast<std::size_t>(model.EntryCount));
    FUZZ_CHECK(dir.EntryTypes.size() == dir.EntryNames.size());

    for (const TypeFilter filter : kFilters)
        CheckLines(model, ListedEntries(model, filter));
    const std::vector<std::int32_t> lines = ListedEntries(model, TypeFilter::All);
    FUZZ_CHECK(lines.size() == static_cast<std::size_t>(model.EntryCount));

    const auto count = static_cast<std::int32_t>(lines.size());
    std::int32_t currentSize = 0;
    for (std::int32_t k = 0; k < count; ++k) {
        const std::string& name = dir.EntryNames[lines[k]];
        FUZZ_CHECK(IsUtf8(Cp1252ToUtf8(name)));
        // The window's click: the first entry of the line's name is the one shown.
        const auto index = model.FindEntry(name);
        FUZZ_CHECK(index && *index <= lines[k]);
        const EntryBytes entry = model.EntryBytes(*index);
        FUZZ_CHECK(entry.empty() ||
                   (entry.data() >= model.ArchiveImage.data() &&
                    entry.data() + entry.size() <= model.ArchiveImage.data() + model.ArchiveImage.size()));
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

    // What export writes for "every picture", and what the editing commands read of the directory.
    for (const std::int32_t i : PictureEntries(model))
        FUZZ_CHECK(IsPicture(dir.EntryTypes[i]));
    const ArchiveDirectory directory = DirectoryOf(model);
    FUZZ_CHECK(directory.Count() == model.EntryCount);
    for (std::int32_t i = 0; i < directory.Count(); ++i) {
        FUZZ_CHECK(static_cast<std::int32_t>(directory.DataOffset(i)) == dir.EntryOffsets[i]);
        FUZZ_CHECK(static_cast<std::int32_t>(directory.DataSize(i)) == dir.EntrySizes[i]);
        FUZZ_CHECK(directory.FindEntry(dir.EntryNames[i]) == model.FindEntry(dir.EntryNames[i]));
    }
    FUZZ_CHECK(directory.SortedNames().size() == lines.size());
    return 0;
}
