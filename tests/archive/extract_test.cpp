// Extract All and Extract Selected into a real folder, and the file services they stand on.

#include "../editing/edit_support.h"
#include "archive/error.h"
#include "archive/extract.h"
#include "archive/file_system.h"
#include "archive_builder.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <unistd.h>

using namespace kelvot;
using namespace kelvot::testkit;
namespace fs = std::filesystem;
using Data = std::vector<std::uint8_t>;

namespace {

class ExtractTest : public ::testing::Test {
  protected:
    void SetUp() override { fs::create_directory(dest); }
    ArchiveModel Open(const Data& bytes) {
        WriteFile(archive, bytes);
        return LoadArchive(archive);
    }
    OutputResult ExtractAll(const ArchiveModel& m, const fs::path& to, const Progress& progress = {}) {
        return ExtractEntries(m, OpenForReading(archive), AllEntries(m), to, progress);
    }
    TempFolder dir;
    fs::path archive = dir / "GAME.DAT", dest = dir / "out";
};

} // namespace

// Every entry byte for byte, empty and large ones too, replacing what is there: a read-only file (made
// writable), a file whose mode it keeps, a link it replaces rather than writes through. Hidden files a
// killed run left go; a living process's stay. Names equal ignoring case end as one file, the last entry's
// under its name, and each entry overwritten so is told.
TEST_F(ExtractTest, WritesEveryEntryReplacingFilesAndLinksAndTellsOfNamesEqualButForCase) {
    Data big(3 << 20); // more than one copy chunk
    for (std::size_t k = 0; k < big.size(); ++k)
        big[k] = static_cast<std::uint8_t>(k * 7 + k / 251);
    const std::vector<TestEntry> entries{{"A.MIP", {1}},   {"E.BIN", {}},  {"\xC9t\xE9.txt", {2, 3}},
                                         {"BIG.OTH", big}, {"a.mip", {4}}, {"A.Mip", {5, 5}}};
    const auto model = Open(BuildArchive(entries));
    const fs::path accented = dest / "\xC3\x89t\xC3\xA9.txt";
    WriteFile(dest / "E.BIN", Data(100, 0));
    SetAttributes(dest / "E.BIN", kReadOnly);
    WriteFile(accented, {0});
    fs::permissions(accented, fs::perms::owner_read | fs::perms::owner_write);
    WriteFile(dir / "outside.txt", {7, 7});
    fs::create_symlink(dir / "outside.txt", dest / "BIG.OTH");
    const std::string living = ".kelvot-" + std::to_string(::getppid()) + "-0.part";
    WriteFile(dest / ".kelvot-2147483600-0.part", {1}); // no process has such an id
    WriteFile(dest / living, {1});
    const auto all = ExtractAll(model, dest);
    const FileTree written{
        {"A.Mip", {5, 5}}, {"E.BIN", {}}, {"\xC3\x89t\xC3\xA9.txt", {2, 3}}, {"BIG.OTH", big}, {living, {1}}};
    EXPECT_EQ(FilesUnder(dest), written);
    EXPECT_EQ(ReadFile(dir / "outside.txt"), (Data{7, 7}));
    EXPECT_EQ(Attributes(dest / "E.BIN"), 0);
    EXPECT_EQ(fs::status(accented).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_EQ(all.Problems.size(), 2u);
    EXPECT_EQ(all.Problems[1].Description,
              "\"a.mip\" (entry 4) was overwritten by \"A.Mip\" (entry 5): file names that differ only in "
              "letter case are written as one file.");

    // Extract Selected: each name, as text, gives the first entry of that name.
    EXPECT_EQ(EntriesNamed(model, {"a.MIP", "\xC3\xA9T\xC3\x89.TXT"}), (std::vector<std::int32_t>{0, 2}));
}

// An entry whose file would leave the folder, whose data lies outside the archive file, or whose file would
// be the archive itself (under its name or through a hard link) is reported; the others are written. (The
// hostile set meets names and offsets of every kind in the command line's tests; here the words.)
TEST_F(ExtractTest, NeverReplacesTheArchiveItReadsNorWritesOutsideTheFolder) {
    auto bytes = BuildArchive(
        {{"OK1", {1}}, {"X", {2}}, {"FAR", {3}}, {"GAME.DAT", {6, 6}}, {"ALIAS.DAT", {7}}, {"OK2", {4}}});
    PutNameField(bytes, 1, {'.', '.', '/', 'G', 'A', 'M', 'E'}); // decodes to "../G"
    PutU32(bytes, RecordStart(2) + kOffsetField, static_cast<std::uint32_t>(bytes.size()));
    archive = dest / "GAME.DAT";
    const auto model = Open(bytes);
    fs::create_hard_link(archive, dest / "ALIAS.DAT");
    const auto result = ExtractAll(model, dest);
    EXPECT_EQ(
        FilesUnder(dir.path()),
        (FileTree{{"out/GAME.DAT", bytes}, {"out/ALIAS.DAT", bytes}, {"out/OK1", {1}}, {"out/OK2", {4}}}));
    std::vector<std::int32_t> reported;
    for (const auto& problem : result.Problems)
        reported.push_back(problem.Index);
    EXPECT_EQ(reported, (std::vector<std::int32_t>{1, 2, 3, 4}));
    const std::string size = std::to_string(bytes.size());
    EXPECT_EQ(result.Problems[1].Description, "\"FAR\" (entry 2) was not extracted: its data (offset " +
                                                  size + ", size 1) lies outside the archive file (" + size +
                                                  " bytes).");
}

TEST_F(ExtractTest, AFileSystemFailureStopsTheRunKeepingEarlierFilesAndNoPartialOne) {
    const auto model =
        Open(BuildArchive({{"ONE", {1}}, {"SUB", {2}}, {"BIG", Data(100000, 3)}, {"LAST", {4}}}));
    fs::create_directory(dest / "SUB"); // a folder where a file should go
    EXPECT_EQ(Failure([&] { ExtractAll(model, dest); }),
              "Cannot replace " + (dest / "SUB").string() + ": Is a directory");
    EXPECT_EQ(FilesUnder(dest), (FileTree{{"ONE", {1}}}));

    // The bytes come from the file on disk: one cut short in the middle of an entry, after the run began.
    fs::remove(dest / "SUB");
    const auto cut = [&](int done, int) {
        if (done == 2) fs::resize_file(archive, fs::file_size(archive) - 50001);
    };
    EXPECT_THROW(ExtractAll(model, dest, cut), KelvotError);
    EXPECT_EQ(FilesUnder(dest), (FileTree{{"ONE", {1}}, {"SUB", {2}}}));
}

TEST(FileSystem, ArchiveFilesAttributesAndReadErrors) {
    TempFolder dir;
    WriteFile(dir / "A.DAT", {1, 2, 3});
    WriteFile(dir / ".B.DAT", {});
    EXPECT_TRUE(ArchiveFileExists(dir / "A.DAT"));
    EXPECT_FALSE(ArchiveFileExists(dir / ".B.DAT")); // the open-by-path command passes hidden files over
    EXPECT_FALSE(ArchiveFileExists(dir.path()));
    SetAttributes(dir / ".B.DAT", kReadOnly);
    EXPECT_EQ(Attributes(dir / ".B.DAT"), kReadOnly | kHidden);
    EXPECT_NE(Failure([&] { LoadArchive(dir.path()); }).find(std::strerror(EISDIR)), std::string::npos);
}
