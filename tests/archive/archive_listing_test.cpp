// The listing read from a file without its entries gives what the whole load gives: the same columns,
// the same catalogue, the same bytes per entry by range, the same refusals.

#include "archive/archive_model.h"
#include "archive/error.h"
#include "archive/list_order.h"
#include "archive_builder.h"
#include "hostile_archives.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

using namespace kelvot;
using namespace kelvot::testkit;

namespace {

std::string Refusal(const std::function<void()>& load) {
    try {
        load();
    } catch (const KelvotError& e) {
        return std::to_string(e.number()) + ": " + e.what();
    }
    return "loaded";
}

void ExpectSameAsWholeLoad(const std::vector<std::uint8_t>& bytes, const std::string& what) {
    TempFolder folder;
    const auto path = folder / "A.DAT";
    WriteFile(path, bytes);
    const std::string whole = Refusal([&] { LoadArchive(bytes); });
    const std::string listed = Refusal([&] { LoadArchiveListing(path); });
    ASSERT_EQ(listed, whole) << what;
    if (whole != "loaded") return;

    const ArchiveModel model = LoadArchive(bytes);
    const ArchiveListing listing = LoadArchiveListing(path);
    EXPECT_EQ(listing.FileSize, static_cast<std::int64_t>(bytes.size())) << what;
    EXPECT_EQ(listing.EntryCount, model.EntryCount) << what;
    EXPECT_EQ(listing.Directory.EntryNames, model.Directory.EntryNames) << what;
    EXPECT_EQ(listing.Directory.EntrySizes, model.Directory.EntrySizes) << what;
    EXPECT_EQ(listing.Directory.EntryOffsets, model.Directory.EntryOffsets) << what;
    EXPECT_EQ(listing.Directory.NameFieldOffsets, model.Directory.NameFieldOffsets) << what;
    EXPECT_EQ(listing.Directory.EntryTypes, model.Directory.EntryTypes) << what;
    EXPECT_EQ(ListedEntries(listing, TypeFilter::AllImages), ListedEntries(model, TypeFilter::AllImages))
        << what;
    EntryReader reader(listing, path);
    for (std::int32_t i = 0; i < model.EntryCount; ++i) {
        EXPECT_EQ(listing.FindEntry(model.Directory.EntryNames[i]),
                  model.FindEntry(model.Directory.EntryNames[i]));
        EXPECT_EQ(listing.EntryInsideFile(i), model.EntryInsideFile(i)) << what << " entry " << i;
        const auto expected = model.EntryBytes(i);
        const auto got = reader.Read(i);
        ASSERT_TRUE(std::equal(got.begin(), got.end(), expected.begin(), expected.end()))
            << what << " entry " << i;
    }
}

TEST(ArchiveListing, EveryHostileArchiveListsAsItLoads) {
    for (const HostileArchive& archive : HostileArchives())
        ExpectSameAsWholeLoad(archive.bytes, archive.name);
}

TEST(ArchiveListing, TypesOfEntriesNearAndFarApartAndOutOfOrder) {
    // Entries of every type, of 0 bytes, of 1 to 3 bytes at the end of the file, and large ones between,
    // so some type bytes share a read and some do not.
    std::vector<TestEntry> entries;
    const char* tags[] = {"MIP", "SRB", "PBF", "3DO", "OTH"};
    for (int i = 0; i < 60; ++i)
        entries.push_back(
            {"E" + std::to_string(i) + ".X", DataOfType(tags[i % 5], i % 7 == 0 ? 9000 : 5 + i)});
    entries.push_back({"EMPTY.X", {}});
    entries.push_back({"SHORT.X", {'P', 'I'}});
    auto bytes = BuildArchive(entries);
    ExpectSameAsWholeLoad(bytes, "in order");
    // Offsets out of directory order: swap the offsets of entry pairs.
    for (int i = 0; i + 1 < 60; i += 2) {
        const auto a = static_cast<std::size_t>(RecordStart(i) + kOffsetField);
        const auto b = static_cast<std::size_t>(RecordStart(i + 1) + kOffsetField);
        for (int k = 0; k < 4; ++k)
            std::swap(bytes[a + k], bytes[b + k]);
    }
    ExpectSameAsWholeLoad(bytes, "out of order");
    // The last entry's type bytes cut by the end of the file, then an offset just past it.
    PutU32(bytes, static_cast<std::size_t>(RecordStart(61) + kOffsetField),
           static_cast<std::uint32_t>(bytes.size() - 1));
    ExpectSameAsWholeLoad(bytes, "cut");
    PutU32(bytes, static_cast<std::size_t>(RecordStart(61) + kOffsetField),
           static_cast<std::uint32_t>(bytes.size()));
    ExpectSameAsWholeLoad(bytes, "past the end");
}

} // namespace
