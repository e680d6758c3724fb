#include "archive/archive_model.h"
#include "archive/error.h"
#include "archive_builder.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace kelvot;
using namespace kelvot::testkit;

namespace {

std::string LoadFailure(std::vector<std::uint8_t> bytes) {
    try {
        LoadArchive(std::move(bytes));
    } catch (const KelvotError& e) {
        EXPECT_EQ(e.number(), kDamagedArchive);
        return e.what();
    }
    return "loaded";
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

TEST(LoadArchive, OneEntryAndAThousand) {
    const ArchiveModel one = LoadArchive(BuildArchive({{"ONLY.MIP", DataOfType("MIP")}}));
    EXPECT_EQ(one.EntryCount, 1);
    EXPECT_EQ(one.Directory.NameFieldOffsets.size(), 1u);
    EXPECT_EQ(one.Directory.NameFieldOffsets[0], 12);

    std::vector<TestEntry> entries;
    for (int i = 0; i < 1000; ++i)
        entries.push_back({"E" + std::to_string(i) + ".OTH", {std::uint8_t(i)}});
    const auto bytes = BuildArchive(entries);
    EXPECT_EQ(bytes[0], 0xE8);
    EXPECT_EQ(bytes[1], 0x03);
    const ArchiveModel many = LoadArchive(bytes);
    ASSERT_EQ(many.EntryCount, 1000);
    EXPECT_EQ(many.Directory.EntryNames[999], "E999.OTH");
    EXPECT_EQ(many.EntryBytes(999)[0], std::uint8_t(999 & 0xFF));
    EXPECT_EQ(*many.FindEntry("e500.oth"), 500);
}

TEST(LoadArchive, DuplicateNamesShareTheFirstEntrysType) {
    const ArchiveModel m =
        LoadArchive(BuildArchive({{"door.lp", DataOfType("MIP")}, {"DOOR.LP", DataOfType("SRB")}}));
    EXPECT_EQ(m.Directory.EntryNames, (std::vector<std::string>{"door.lp", "DOOR.LP"}));
    EXPECT_EQ(m.Directory.EntryTypes[1], EntryType::SRB);
    EXPECT_EQ(m.FindEntry("DOOR.LP"), 0);
    EXPECT_EQ(m.TypeOf("DOOR.LP"), EntryType::MIP);
    EXPECT_FALSE(m.FindEntry("DOOR.L").has_value());
}

TEST(LoadArchive, SizesAndOffsetsAreSigned) {
    auto bytes = BuildArchive({{"A.OTH", DataOfType("OTH")}, {"B.OTH", DataOfType("OTH")}});
    PutU32(bytes, RecordStart(0) + kSizeField, 0x80000000u);
    PutU32(bytes, RecordStart(1) + kOffsetField, 0xFFFFFFFFu);
    const ArchiveModel m = LoadArchive(bytes);
    EXPECT_EQ(m.Directory.EntrySizes[0], INT32_MIN);
    EXPECT_EQ(m.Directory.EntryOffsets[1], -1);
    EXPECT_FALSE(m.EntryInsideFile(0));
    EXPECT_FALSE(m.EntryInsideFile(1));
    // What can be read of them stops at the file's end.
    EXPECT_EQ(m.EntryBytes(0).size(), bytes.size() - static_cast<std::size_t>(m.Directory.EntryOffsets[0]));
    EXPECT_TRUE(m.EntryBytes(1).empty());
    EXPECT_EQ(m.Directory.EntryTypes[1], EntryType::OTH);
}

TEST(LoadArchive, EntriesPastTheEndAreCutAtIt) {
    auto bytes = BuildArchive({{"A.MIP", DataOfType("MIP", 10)}});
    PutU32(bytes, RecordStart(0) + kOffsetField, static_cast<std::uint32_t>(bytes.size() - 2));
    const ArchiveModel m = LoadArchive(bytes);
    EXPECT_EQ(m.Directory.EntryTypes[0], EntryType::OTH); // two of the four type bytes lie outside
    EXPECT_EQ(m.EntryBytes(0).size(), 2u);
    PutU32(bytes, RecordStart(0) + kOffsetField, static_cast<std::uint32_t>(bytes.size()));
    EXPECT_TRUE(LoadArchive(bytes).EntryBytes(0).empty());
}

TEST(LoadArchive, FailsOnFilesThatAreNoArchive) {
    EXPECT_NE(LoadFailure({}).find("empty"), std::string::npos);
    EXPECT_NE(LoadFailure({1}).find("too short"), std::string::npos);
    EXPECT_NE(LoadFailure({0, 0}).find("count of the file is 0"), std::string::npos);
    EXPECT_NE(LoadFailure({0x00, 0x80}).find("-32768"), std::string::npos);
    EXPECT_NE(LoadFailure({0xFF, 0xFF}).find("-1"), std::string::npos);
    // A count of 32767 on a short file: the directory runs past the end.
    EXPECT_NE(LoadFailure({0xFF, 0x7F, 0, 0}).find("needs 884711 bytes"), std::string::npos);
    auto bytes = BuildArchive({{"A.MIP", DataOfType("MIP")}});
    bytes.resize(DirectoryEnd(1) - 1);
    EXPECT_NE(LoadFailure(bytes).find("29 bytes"), std::string::npos);
    bytes.resize(DirectoryEnd(1)); // a directory and no data at all still loads
    EXPECT_EQ(LoadFailure(bytes), "loaded");
}

TEST(LoadArchive, FromDiskAndAgainUnchanged) {
    const TempFolder dir;
    const auto bytes = BuildArchive({{"B.MIP", DataOfType("MIP")}, {"a.srb", DataOfType("SRB")}});
    WriteFile(dir / "X.DAT", bytes);
    const ArchiveModel first = LoadArchive(dir / "X.DAT");
    const ArchiveModel second = LoadArchive(dir / "X.DAT");
    EXPECT_EQ(first.ArchiveImage, second.ArchiveImage);
    EXPECT_EQ(first.Directory.EntryNames, second.Directory.EntryNames);
    EXPECT_EQ(first.Directory.EntryOffsets, second.Directory.EntryOffsets);
    EXPECT_EQ(first.TypeOf("A.SRB"), second.TypeOf("a.srb"));

    try {
        LoadArchive(dir / "MISSING.DAT");
        FAIL() << "a missing file loaded";
    } catch (const KelvotError& e) {
        EXPECT_EQ(e.number(), ENOENT);
        EXPECT_NE(std::string(e.what()).find("MISSING.DAT: No such file"), std::string::npos);
    }
    EXPECT_THROW(LoadArchive(dir.path()), KelvotError); // a folder is no archive
}
