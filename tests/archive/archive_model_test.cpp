// Loading an archive: every column of the directory, entries at and past the file's end, the refusals, the
// listing read from a file without its entries, which must give what the whole load gives, and the order
// and filters of the window's list.

#include "archive/archive_model.h"
#include "archive/codepage.h"
#include "archive/error.h"
#include "archive/list_order.h"
#include "archive_builder.h"
#include "hostile_archives.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

using namespace kelvot;
using namespace kelvot::testkit;

namespace {

using Bytes = std::vector<std::uint8_t>;

template <typename Load> std::string Refusal(const Load& load) {
    try {
        load();
    } catch (const KelvotError& e) {
        return std::to_string(e.number()) + ": " + e.what();
    }
    return "loaded";
}

void ExpectListingAsWholeLoad(const Bytes& bytes, const std::string& what) {
    SCOPED_TRACE(what);
    TempFolder folder;
    const auto path = folder / "A.DAT";
    WriteFile(path, bytes);
    const std::string whole = Refusal([&] { LoadArchive(bytes); });
    ASSERT_EQ(Refusal([&] { LoadArchiveListing(path); }), whole);
    if (whole != "loaded") return;
    const ArchiveModel model = LoadArchive(bytes);
    const ArchiveListing listing = LoadArchiveListing(path);
    const auto columns = [](const ArchiveListing& l) {
        const DirectoryTable& d = l.Directory;
        return std::tie(l.FileSize, l.EntryCount, d.EntryNames, d.EntrySizes, d.EntryOffsets,
                        d.NameFieldOffsets, d.EntryTypes);
    };
    EXPECT_EQ(columns(listing), columns(model));
    EntryReader reader(listing, path);
    for (std::int32_t i = 0; i < model.EntryCount; ++i) {
        const std::string& name = model.Directory.EntryNames[i];
        ASSERT_EQ(listing.FindEntry(name), model.FindEntry(name)) << i;
        ASSERT_EQ(listing.EntryInsideFile(i), model.EntryInsideFile(i)) << i;
        ASSERT_TRUE(std::ranges::equal(reader.Read(i), model.EntryBytes(i))) << i;
    }
}

} // namespace

TEST(LoadArchive, ReadsEveryColumn) {
    const ArchiveModel m = LoadArchive(BuildArchive({{"A.MIP", DataOfType("MIP", 300)},
                                                     {"B.3DO", DataOfType("3DO", 10)},
                                                     {"C.TXT", {}},
                                                     {"D.PBF", DataOfType("PBF", 5)}}));
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
    const std::vector<std::size_t> readable = {bytes.size() - static_cast<std::size_t>(RecordStart(4)), 0, 2,
                                               0};
    for (std::int32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(m.EntryBytes(i).size(), readable[i]) << i;
        EXPECT_FALSE(m.EntryInsideFile(i)) << i;
        EXPECT_EQ(m.Directory.EntryTypes[i], EntryType::OTH) << i;
    }
}

TEST(LoadArchive, RefusesFilesThatAreNoArchive) {
    auto cut = BuildArchive({{"A.MIP", DataOfType("MIP")}});
    cut.resize(DirectoryEnd(1) - 1);
    const std::pair<Bytes, std::string> cases[] = {
        {{1}, "The file is too short to hold an entry count."},
        {{0, 0}, "The entry count of the file is 0; an archive holds 1 to 32767 entries."},
        {{0x00, 0x80}, "The entry count of the file is -32768; an archive holds 1 to 32767 entries."},
        {cut, "The directory of 1 entries needs 29 bytes, but the file holds only 28."},
    };
    for (const auto& [bytes, message] : cases)
        EXPECT_EQ(Refusal([&] { LoadArchive(bytes); }), std::to_string(kDamagedArchive) + ": " + message);
    cut.resize(DirectoryEnd(1)); // a directory and no data at all still loads
    EXPECT_EQ(Refusal([&] { LoadArchive(cut); }), "loaded");
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
    ExpectListingAsWholeLoad(bytes, "in order");
    for (int i = 0; i + 1 < 300; i += 2) { // swap the offsets of entry pairs
        const auto a = static_cast<std::size_t>(RecordStart(i) + kOffsetField);
        std::swap_ranges(bytes.begin() + a, bytes.begin() + a + 4, bytes.begin() + a + kRecordSize);
    }
    ExpectListingAsWholeLoad(bytes, "out of order");
}

// The list: names sorted ignoring case, equal ones in directory order; a line's type is that of the first
// entry of its name, so beta.srb, plain data, is listed with the SRB files. (The window's tests show each
// filter's lines.)
TEST(ListOrder, EqualNamesKeepDirectoryOrderAndTheTypeOfTheFirst) {
    const ArchiveModel m = LoadArchive(BuildArchive({{"zeta.mip", DataOfType("MIP")},
                                                     {"Beta.SRB", DataOfType("SRB")},
                                                     {"notes.txt", DataOfType("OTH")},
                                                     {"beta.srb", DataOfType("OTH")},
                                                     {"ALPHA.PBF", DataOfType("PBF")}}));
    const auto names = [&](TypeFilter filter) {
        std::vector<std::string> names;
        for (const std::int32_t i : ListedEntries(m, filter))
            names.push_back(m.Directory.EntryNames[i]);
        return names;
    };
    EXPECT_EQ(names(TypeFilter::All),
              (std::vector<std::string>{"ALPHA.PBF", "Beta.SRB", "beta.srb", "notes.txt", "zeta.mip"}));
    EXPECT_EQ(names(TypeFilter::SRB), (std::vector<std::string>{"Beta.SRB", "beta.srb"}));
}

// The order by sort keys against the plain comparison, on names of every byte 1-255 (case pairs of
// Windows-1252 among them), of every length up to a name field's 13 bytes, many of them equal but for case.
TEST(ListOrder, SortKeysOrderAsTheNameComparisonDoes) {
    std::mt19937 random(8);
    std::vector<std::string> names;
    for (int i = 0; i < 3000; ++i) {
        std::string name(random() % 14, 'a');
        for (char& c : name)
            c = static_cast<char>(i % 3 == 0 ? "aAsS\x8A\x9A\xFF\x9F"[random() % 8] : 1 + random() % 255);
        names.push_back(name);
    }
    std::vector<std::int32_t> expected(names.size());
    std::iota(expected.begin(), expected.end(), 0);
    std::stable_sort(expected.begin(), expected.end(), [&](std::int32_t a, std::int32_t b) {
        return CompareNamesIgnoringCase(names[a], names[b]) < 0;
    });
    EXPECT_EQ(SortedNameOrder(names), expected);
}
