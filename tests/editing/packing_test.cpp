#include "archive/file_ops.h"
#include "archive/file_system.h"
#include "archive_builder.h"
#include "edit_support.h"
#include "editing/packing.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

using namespace kelvot;
using namespace kelvot::testkit;
namespace fs = std::filesystem;

class PackingTest : public ::testing::Test {
  protected:
    TempFolder dir;
};

TEST_F(PackingTest, SelectsPackableFilesInTheFoldersOrder) {
    for (const char* name : {"A.TXT", "LONGNAME1234.BMP", "OLD.DAT", "README", "PIC.JPEG", "ABCDEFGH.MIP",
                             "x.Dat", "A.B", "door.lp", ".ab", "\xC3\x89T\xC3\x89.txt", "\xE6\x97\xA5.txt"})
        WriteFile(dir / name, {1});
    fs::create_directory(dir / "SUB.TXT");
    std::vector<std::string> expected;
    for (const std::string& name : ListedOrder(dir.path()))
        if (name == "A.TXT" || name == "ABCDEFGH.MIP" || name == "door.lp" || name == ".ab" ||
            name == "\xC3\x89T\xC3\x89.txt")
            expected.push_back(name);
    std::vector<std::string> got;
    for (const PackableFile& f : SelectPackableFiles(dir.path()).Packable)
        got.push_back(f.Path.filename().string());
    EXPECT_EQ(got, expected);
    EXPECT_EQ(PackableName("\xC3\x89T\xC3\x89.txt"), "\xC9T\xC9.txt");
}

TEST_F(PackingTest, CreatesTheSixtyNineByteArchiveInTheFoldersOrder) {
    WriteFile(dir / "A.TXT", Bytes("0123456789"));
    WriteFile(dir / "B.TXT", Bytes("abc"));
    std::int64_t lastDone = 0;
    const CreateResult result =
        CreateArchive(dir.path(), "New.DAT", [&](std::int64_t done, std::int64_t) { lastDone = done; });
    EXPECT_EQ(result.EntryCount, 2);
    EXPECT_EQ(lastDone, 69);
    std::vector<TestEntry> entries;
    for (const std::string& name : ListedOrder(dir.path()))
        if (name != "New.DAT") entries.push_back({name, Bytes(name == "A.TXT" ? "0123456789" : "abc")});
    const auto expected = BuildArchive(entries); // the count, two records of 27 bytes, 10 + 3 bytes of data
    ASSERT_EQ(expected.size(), 69u);
    EXPECT_EQ(ReadWholeFile(result.Target), expected);

    // A 12-character name keeps one 0 byte; an empty file gets an entry of its own.
    WriteFile(dir / "ABCDEFGH.MIP", Bytes("PIM!"));
    WriteFile(dir / "E.TXT", {});
    WritePackedArchive({{{dir / "ABCDEFGH.MIP", "ABCDEFGH.MIP"}, {dir / "E.TXT", "E.TXT"}}}, dir / "OUT.DAT");
    EXPECT_EQ(ReadWholeFile(dir / "OUT.DAT"), BuildArchive({{"ABCDEFGH.MIP", Bytes("PIM!")}, {"E.TXT", {}}}));
}

// An existing archive keeps its permissions (made writable) and a link keeps leading to it.
TEST_F(PackingTest, ReplacesATargetKeepingItsModeAndLinksAndEndsQuietlyWithNothingToPack) {
    WriteFile(dir / "A.TXT", Bytes("new"));
    WriteFile(dir / "T.DAT", Bytes("old archive"));
    SetAttributes(dir / "T.DAT", kReadOnly);
    ASSERT_TRUE(CreateArchive(dir.path(), "T.DAT").Created);
    const auto created = BuildArchive({{"A.TXT", Bytes("new")}});
    EXPECT_EQ(ReadWholeFile(dir / "T.DAT"), created);
    EXPECT_EQ(Attributes(dir / "T.DAT"), 0);
    fs::permissions(dir / "T.DAT", fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink("T.DAT", dir / "L.DAT");
    ASSERT_TRUE(CreateArchive(dir.path(), "L.DAT").Created);
    EXPECT_TRUE(fs::is_symlink(dir / "L.DAT"));
    EXPECT_EQ(ReadWholeFile(dir / "T.DAT"), created);
    EXPECT_EQ(fs::status(dir / "T.DAT").permissions(), fs::perms::owner_read | fs::perms::owner_write);

    fs::remove(dir / "A.TXT");
    WriteFile(dir / "README", Bytes("x"));
    const CreateResult none = CreateArchive(dir.path(), "T.DAT");
    EXPECT_FALSE(none.Created);
    ASSERT_EQ(none.LeftOut.size(), 1u);
    EXPECT_EQ(none.LeftOut[0].Path, dir / "README");
    EXPECT_EQ(FolderNames(dir.path()), (std::set<std::string>{"L.DAT", "README", "T.DAT"}));
    EXPECT_EQ(ReadWholeFile(dir / "T.DAT"), created);

    // A folder that takes no new file: the message names the temporary file, not the archive.
    WriteFile(dir / "B.TXT", Bytes("b"));
    const auto previous = SetFileFaultHook([](FileStep s, const fs::path&) { return s == FileStep::Create ? EACCES : 0; });
    EXPECT_EQ(Failure([&] { CreateArchive(dir.path(), "N.DAT"); }),
              "Cannot create a temporary file beside " + (dir / "N.DAT").string() + ": Permission denied");
    SetFileFaultHook(previous);
}

TEST_F(PackingTest, RefusesLimitsBeforeWritingAnything) {
    // Sparse files: their length counts, no disk is used.
    for (const auto& [name, size] : {std::pair{"HUGE.BIN", 1ull << 31},
                                     {"HALF1.BIN", (1ull << 30) + 1},
                                     {"HALF2.BIN", 1ull << 30},
                                     {"S.TXT", 1ull}}) {
        WriteFile(dir / name, {});
        fs::resize_file(dir / name, size);
    }
    auto failure = [&](const std::vector<PackableFile>& files) {
        return Failure([&] { WritePackedArchive(files, dir / "OUT.DAT"); });
    };
    EXPECT_EQ(failure({{dir / "HUGE.BIN", "HUGE.BIN"}}),
              (dir / "HUGE.BIN").string() + " is 2147483648 bytes long; a DAT file cannot hold a file of 2 "
                                            "GiB or more. Nothing was written.");
    EXPECT_EQ(failure({{dir / "HALF1.BIN", "HALF1.BIN"}, {dir / "HALF2.BIN", "HALF2.BIN"}}),
              "The DAT file would be 2147483705 bytes long; a DAT file cannot grow to 2 GiB or more. "
              "Nothing was written.");
    EXPECT_EQ(failure(std::vector<PackableFile>(32768, {dir / "S.TXT", "S.TXT"})),
              "The DAT file would hold 32768 entries; a DAT file holds at most 32767. Nothing was written.");
    EXPECT_FALSE(fs::exists(dir / "OUT.DAT"));
}
