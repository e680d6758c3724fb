#include "archive/error.h"
#include "archive/extract.h"
#include "archive/file_system.h"
#include "archive_builder.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <map>
#include <unistd.h>

using namespace kelvot;
using namespace kelvot::testkit;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Files = std::map<std::string, Bytes>;

namespace {

// Every file under a folder, subfolders included, with its content.
Files Tree(const fs::path& folder) {
    Files files;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (!e.is_directory()) files[fs::relative(e.path(), folder).string()] = ReadWholeFile(e.path());
    return files;
}

class ExtractTest : public ::testing::Test {
  protected:
    ArchiveModel Open(const Bytes& bytes) {
        WriteFile(archive, bytes);
        return LoadArchive(archive);
    }
    void SetUp() override { fs::create_directory(dest); }
    TempFolder dir;
    fs::path archive = dir / "GAME.DAT", dest = dir / "out";
};

} // namespace

TEST_F(ExtractTest, EntriesByteForByteEmptyLargeAndDuplicateOnes) {
    Bytes big(3 << 20); // more than one copy chunk
    for (std::size_t k = 0; k < big.size(); ++k)
        big[k] = static_cast<std::uint8_t>(k * 7 + k / 251);
    const auto model = Open(BuildArchive({{"A.MIP", {1}},
                                          {"EMPTY.BIN", {}},
                                          {"\xC9t\xE9.txt", {2, 3}},
                                          {"BIG.OTH", big},
                                          {"a.mip", {4}},
                                          {"A.Mip", {5, 5}}}));
    std::vector<std::pair<int, int>> steps;
    const auto all = ExtractEntries(model, archive, AllEntries(model), dest,
                                    [&](int done, int total) { steps.emplace_back(done, total); });
    EXPECT_EQ(steps.size(), 6u);
    EXPECT_EQ(steps.back(), std::make_pair(6, 6));
    // Names equal ignoring case end as one file: the last entry's bytes under its name, and each entry
    // overwritten so is told.
    EXPECT_EQ(
        Tree(dest),
        (Files{{"A.Mip", {5, 5}}, {"EMPTY.BIN", {}}, {"\xC3\x89t\xC3\xA9.txt", {2, 3}}, {"BIG.OTH", big}}));
    ASSERT_EQ(all.Problems.size(), 2u);
    EXPECT_EQ(all.Problems[1].Description,
              "\"a.mip\" (entry 4) was overwritten by \"A.Mip\" (entry 5): file names that differ only in "
              "letter case are written as one file.");

    // Extract Selected: each name gives the first entry of that name.
    fs::create_directory(dir / "sel");
    const auto indices = EntriesNamed(model, {"a.MIP", "\xC3\xA9T\xC3\x89.TXT"});
    EXPECT_EQ(indices, (std::vector<std::int32_t>{0, 2}));
    ExtractEntries(model, archive, indices, dir / "sel");
    EXPECT_EQ(Tree(dir / "sel"), (Files{{"A.MIP", {1}}, {"\xC3\x89t\xC3\xA9.txt", {2, 3}}}));
    try {
        EntriesNamed(model, {"A.MIP", "NONE", "\xE2\x82\xACx"});
        FAIL();
    } catch (const KelvotError& e) {
        EXPECT_STREQ(e.what(), "No entries are named \"NONE\", \"\xE2\x82\xACx\".");
    }
}

TEST_F(ExtractTest, ReplacesFilesKeepingTheirModeAndLinksWithoutWritingThroughThem) {
    const auto model = Open(BuildArchive({{"RO.TXT", {1, 2, 3}}, {"LINK.TXT", {9}}, {"OWN.TXT", {8}}}));
    WriteFile(dest / "RO.TXT", Bytes(100, 0));
    SetAttributes(dest / "RO.TXT", kReadOnly);
    WriteFile(dest / "OWN.TXT", {0});
    fs::permissions(dest / "OWN.TXT", fs::perms::owner_read | fs::perms::owner_write);
    WriteFile(dir / "outside.txt", {7, 7});
    fs::create_symlink(dir / "outside.txt", dest / "LINK.TXT");
    // A hidden file left by a killed run goes; one of a living process stays. No process has such an id.
    const std::string living = ".kelvot-" + std::to_string(::getppid()) + "-0.part";
    WriteFile(dest / ".kelvot-2147483600-0.part", {1});
    WriteFile(dest / living, {1});
    ExtractEntries(model, archive, AllEntries(model), dest);
    EXPECT_EQ(Tree(dest), (Files{{"RO.TXT", {1, 2, 3}}, {"LINK.TXT", {9}}, {"OWN.TXT", {8}}, {living, {1}}}));
    EXPECT_FALSE(fs::is_symlink(dest / "LINK.TXT"));
    EXPECT_EQ(Attributes(dest / "RO.TXT"), 0); // made writable, as a read-only file is before it is replaced
    EXPECT_EQ(fs::status(dest / "OWN.TXT").permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(ReadWholeFile(dir / "outside.txt"), (Bytes{7, 7}));
}

// Names and offsets of every kind are met by the hostile set in the command line's tests; here the words.
TEST_F(ExtractTest, HostileNamesAndDataOutsideTheFileAreReportedWhileTheRestIsWritten) {
    auto bytes = BuildArchive({{"OK1", {1}}, {"X", {2}}, {"X", {3}}, {"FAR", {4}}, {"OK2", {5}}});
    PutNameField(bytes, 1, {'.', '.'});
    PutNameField(bytes, 2, {'.', '.', '/', 'G', 'A', 'M', 'E'}); // decodes to "../G"
    PutU32(bytes, RecordStart(3) + kOffsetField, static_cast<std::uint32_t>(bytes.size()));
    const auto model = Open(bytes);
    ASSERT_EQ(model.Directory.EntryNames[2], "../G");

    const auto result = ExtractEntries(model, archive, AllEntries(model), dest);
    EXPECT_EQ(Tree(dir.path()).size(), 3u); // the archive and the two good files, nothing beside them
    EXPECT_EQ(Tree(dest), (Files{{"OK1", {1}}, {"OK2", {5}}}));
    const std::string size = std::to_string(bytes.size());
    ASSERT_EQ(result.Problems.size(), 3u);
    EXPECT_EQ(result.Problems[1].Description,
              "\"../G\" (entry 2) was not extracted: its name cannot be used as a file name.");
    EXPECT_EQ(result.Problems[2].Description, "\"FAR\" (entry 3) was not extracted: its data (offset " +
                                                  size + ", size 1) lies outside the archive file (" + size +
                                                  " bytes).");
}

// An archive holding an entry of its own name, extracted into its own folder, under that name or through a
// hard link: the archive stays, the entry is reported, the others are written.
TEST_F(ExtractTest, NeverReplacesTheArchiveItReads) {
    const Bytes bytes = BuildArchive({{"GAME.DAT", {6, 6}}, {"ALIAS.DAT", {7}}, {"OK.TXT", {1}}});
    const auto model = Open(bytes);
    fs::create_hard_link(archive, dir / "ALIAS.DAT");
    const auto result = ExtractEntries(model, archive, AllEntries(model), dir.path());
    EXPECT_EQ(ReadWholeFile(archive), bytes);
    EXPECT_EQ(ReadWholeFile(dir / "OK.TXT"), Bytes{1});
    ASSERT_EQ(result.Problems.size(), 2u);
    EXPECT_EQ(result.Problems[0].Description,
              "\"GAME.DAT\" (entry 0) was not extracted: its file would replace the archive being read.");
}

TEST_F(ExtractTest, AFileSystemFailureStopsTheRunKeepingEarlierFilesAndNoPartialOne) {
    const auto model =
        Open(BuildArchive({{"ONE", {1}}, {"SUB", {2}}, {"BIG", Bytes(100000, 3)}, {"LAST", {4}}}));
    fs::create_directory(dest / "SUB"); // a folder where a file should go
    try {
        ExtractEntries(model, archive, AllEntries(model), dest);
        FAIL();
    } catch (const KelvotError& e) {
        EXPECT_EQ(e.what(), "Cannot replace " + (dest / "SUB").string() + ": Is a directory");
    }
    EXPECT_EQ(Tree(dest), (Files{{"ONE", {1}}}));

    // The bytes come from the file on disk: one cut short in the middle of an entry, after the run began.
    fs::remove(dest / "SUB");
    const auto cut = [&](int done, int) {
        if (done == 2) fs::resize_file(archive, fs::file_size(archive) - 50001);
    };
    EXPECT_THROW(ExtractEntries(model, archive, AllEntries(model), dest, cut), KelvotError);
    EXPECT_EQ(Tree(dest), (Files{{"ONE", {1}}, {"SUB", {2}}}));
    EXPECT_THROW(ExtractEntries(model, archive, AllEntries(model), dir / "missing"), KelvotError);
}
