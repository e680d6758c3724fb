// Loading an archive: every column of the directory, entries at and past the file's end, the refusals, and
// the listing read from a file without its entries, which must give what the whole load gives.

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

using Bytes = std::vector<std::uint8_t>;

std::string Refusal(const std::function<void()>& load) {
    try {
        load();
    } catch (const KelvotError& e) {
        return std::to_string(e.number()) + ": " + e.what();
    }
    return "loaded";
}

std::string LoadRefusal(const Bytes& bytes) {
    return Refusal([&] { LoadArchive(bytes); });
}

void ExpectListingAsWholeLoad(const Bytes& bytes, const std::string& what) {
    TempFolder folder;
    const auto path = folder / "A.DAT";
    WriteFile(path, bytes);
    const std::string whole = LoadRefusal(bytes);
    ASSERT_EQ(Refusal([&] { LoadArchiveListing(path); }), whole) << what;
    if (whole != "loaded") return;

    const ArchiveModel model = LoadArchive(bytes);
    const ArchiveListing listing = LoadArchiveListing(path);
    const auto columns = [](const ArchiveListing& l) {
        const DirectoryTable& d = l.Directory;
        return std::tie(l.EntryCount, d.EntryNames, d.EntrySizes, d.EntryOffsets, d.NameFieldOffsets,
                        d.EntryTypes);
    };
    EXPECT_EQ(listing.FileSize, static_cast<std::int64_t>(bytes.size())) << what;
    EXPECT_EQ(columns(listing), columns(model)) << what;
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

} // namespace

TEST(LoadArchive, ReadsEveryColumn) {
    const auto bytes = BuildArchive({{"A.MIP", DataOfType("MIP", 300)},
                                     {"B.3DO", DataOfType("3DO", 10)},
                                     {"C.TXT", {}},
                                     {"D.PBF", DataOfType("PBF", 5)}});
    const ArchiveModel m = LoadArchive(bytes);
    ASSERT_EQ(m.EntryCount, 4);
    EXPECT_EQ(m.ArchiveImage, bytes);
    const DirectoryTable& d = m.Directory;
    EXPECT_EQ(d.EntryNames, (std::vector<std::string>{"A.MIP", "B.3DO", "C.TXT", "D.PBF"}));
    EXPECT_EQ(d.EntrySizes, (std::vector<std::int32_t>{300, 10, 0, 5}));
    EXPECT_EQ(d.EntryOffsets, (std::vector<std::int32_t>{110, 410, 420, 420}));
    EXPECT_EQ(d.NameFieldOffsets, (std::vector<std::int32_t>{12, 39, 66, 93}));
    // The empty entry starts where D.PBF starts, and the type test reads the file, not the entry.
    EXPECT_EQ(d.EntryTypes,
              (std::vector<EntryType>{EntryType::MIP, EntryType::ThreeDO, EntryType::PBF, EntryType::PBF}));
}

TEST(LoadArchive, SignedSizesAndOffsetsAndEntriesCutAtTheFilesEnd) {
    auto bytes = BuildArchive({{"A.OTH", DataOfType("OTH")},
                               {"B.OTH", DataOfType("OTH")},
                               {"C.MIP", DataOfType("MIP", 10)},
                               {"D.MIP", DataOfType("MIP", 10)}});
    PutU32(bytes, RecordStart(0) + kSizeField, 0x80000000u);
    PutU32(bytes, RecordStart(1) + kOffsetField, 0xFFFFFFFFu);
    PutU32(bytes, RecordStart(2) + kOffsetField, static_cast<std::uint32_t>(bytes.size() - 2));
    PutU32(bytes, RecordStart(3) + kOffsetField, static_cast<std::uint32_t>(bytes.size()));
    const ArchiveModel m = LoadArchive(bytes);
    EXPECT_EQ(m.Directory.EntrySizes[0], INT32_MIN);
    EXPECT_EQ(m.Directory.EntryOffsets[1], -1);
    // What can be read of them stops at the file's end, and type bytes outside it match nothing.
    EXPECT_EQ(m.EntryBytes(0).size(), bytes.size() - static_cast<std::size_t>(m.Directory.EntryOffsets[0]));
    EXPECT_TRUE(m.EntryBytes(1).empty());
    EXPECT_EQ(m.EntryBytes(2).size(), 2u);
    EXPECT_TRUE(m.EntryBytes(3).empty());
    for (std::int32_t i = 0; i < 4; ++i) {
        EXPECT_FALSE(m.EntryInsideFile(i)) << i;
        EXPECT_EQ(m.Directory.EntryTypes[i], EntryType::OTH) << i;
    }
    ExpectListingAsWholeLoad(bytes, "cut");
}

TEST(LoadArchive, RefusesFilesThatAreNoArchive) {
    const std::string damaged = std::to_string(kDamagedArchive) + ": ";
    EXPECT_EQ(LoadRefusal({}), damaged + "The file is empty.");
    EXPECT_EQ(LoadRefusal({1}), damaged + "The file is too short to hold an entry count.");
    EXPECT_EQ(LoadRefusal({0, 0}),
              damaged + "The entry count of the file is 0; an archive holds 1 to 32767 entries.");
    EXPECT_EQ(LoadRefusal({0x00, 0x80}),
              damaged + "The entry count of the file is -32768; an archive holds 1 to 32767 entries.");
    EXPECT_EQ(LoadRefusal({0xFF, 0x7F, 0, 0}),
              damaged + "The directory of 32767 entries needs 884711 bytes, but the file holds only 4.");
    auto bytes = BuildArchive({{"A.MIP", DataOfType("MIP")}});
    bytes.resize(DirectoryEnd(1) - 1);
    EXPECT_EQ(LoadRefusal(bytes),
              damaged + "The directory of 1 entries needs 29 bytes, but the file holds only 28.");
    bytes.resize(DirectoryEnd(1)); // a directory and no data at all still loads
    EXPECT_EQ(LoadRefusal(bytes), "loaded");
}

TEST(ArchiveListing, EveryHostileArchiveListsAsItLoads) {
    for (const HostileArchive& archive : HostileArchives())
        ExpectListingAsWholeLoad(archive.bytes, archive.name);
}

TEST(ArchiveListing, TypesOfEntriesNearAndFarApartAndOutOfOrder) {
    // Entries of every type, of 0 bytes, of 1 to 3 bytes at the end of the file, and large ones between,
    // so some type bytes share a read and some do not; more than 255, so the count takes both its bytes.
    std::vector<TestEntry> entries;
    const char* tags[] = {"MIP", "SRB", "PBF", "3DO", "OTH"};
    for (int i = 0; i < 300; ++i)
        entries.push_back(
            {"E" + std::to_string(i) + ".X", DataOfType(tags[i % 5], i % 7 == 0 ? 9000 : 5 + i)});
    entries.push_back({"EMPTY.X", {}});
    entries.push_back({"SHORT.X", {'P', 'I'}});
    auto bytes = BuildArchive(entries);
    ASSERT_EQ(LoadArchive(bytes).EntryCount, 302);
    ExpectListingAsWholeLoad(bytes, "in order");
    for (int i = 0; i + 1 < 300; i += 2) { // swap the offsets of entry pairs
        const auto a = static_cast<std::size_t>(RecordStart(i) + kOffsetField);
        std::swap_ranges(bytes.begin() + a, bytes.begin() + a + 4, bytes.begin() + a + kRecordSize);
    }
    ExpectListingAsWholeLoad(bytes, "out of order");
}
