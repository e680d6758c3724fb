#include "archive/dat_format.h"
#include "archive/file_system.h"
#include "archive_builder.h"
#include "run_cli.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

using namespace kelvot;
using namespace kelvot::testkit;
namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

} // namespace

class EditCliTest : public ::testing::Test {
  protected:
    std::string Path(const std::string& name) const { return (dir / name).string(); }
    TempFolder dir;
};

TEST_F(EditCliTest, CreatesFromAFolderWithTheWindowsChecks) {
    fs::create_directory(dir / "f");
    WriteFile(dir / "f" / "A.TXT", Bytes("0123456789"));
    WriteFile(dir / "f" / "README", Bytes("not packed"));
    // The window's message on one line: each run of line breaks becomes a space.
    auto r = RunCli({"create", Path("f"), "a?b.dat"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "kelvot-cli: A filename cannot contain any of the following characters: "
                     "\\ / : * ? \" < > | Please try again.\n");
    r = RunCli({"create", Path("f"), ".DAT"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "kelvot-cli: No DAT file was created: a name before .dat is needed.\n");
    EXPECT_FALSE(fs::exists(dir / "f" / ".DAT"));

    r = RunCli({"create", Path("f"), "New.dat"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, Path("f/New.dat") + ": created, 1 entry, 39 bytes\n");
    EXPECT_EQ(ReadWholeFile(dir / "f" / "New.dat"), BuildArchive({{"A.TXT", Bytes("0123456789")}}));

    fs::create_directory(dir / "empty");
    WriteFile(dir / "empty" / "NOTES", Bytes("x"));
    r = RunCli({"create", Path("empty"), "E.DAT"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "kelvot-cli: No DAT file was created: " + Path("empty") +
                         " holds no file that can be packed.\n");
    EXPECT_FALSE(fs::exists(dir / "empty" / "E.DAT"));
}

TEST_F(EditCliTest, AddsByAppendingOrRebuilding) {
    const auto a = DataOfType("MIP", 20), b = DataOfType("SRB", 24);
    WriteFile(dir / "T.DAT", BuildArchive({{"NEW.MIP", a}, {"B.SRB", b}}));
    WriteFile(dir / "ADDED.TXT", Bytes("0123456789"));
    WriteFile(dir / "NOTES", Bytes("x"));
    auto r = RunCli({"add", Path("T.DAT"), Path("ADDED.TXT"), Path("NOTES")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, Path("T.DAT") + ": appended to, 3 entries, 137 bytes\n");
    EXPECT_NE(r.err.find(Path("NOTES") + " is not added"), std::string::npos) << r.err;
    const auto bytes = ReadWholeFile(dir / "T.DAT");
    ASSERT_EQ(bytes.size(), 137u);
    for (const auto& [index, offset] : {std::pair{0, 83u}, {1, 103u}, {2, 127u}})
        EXPECT_EQ(ReadU32(bytes, RecordStart(index) + kOffsetField), offset);

    WriteFile(dir / "new.mip", DataOfType("MIP", 5));
    r = RunCli({"add", Path("T.DAT"), Path("new.mip")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, Path("T.DAT") + ": rebuilt, 3 entries, 122 bytes\n");
    EXPECT_EQ(
        ReadWholeFile(dir / "T.DAT"),
        BuildArchive({{"NEW.MIP", DataOfType("MIP", 5)}, {"B.SRB", b}, {"ADDED.TXT", Bytes("0123456789")}}));

    r = RunCli({"add", Path("T.DAT"), Path("NOTES")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("kelvot-cli: Nothing was added: none of the files can be packed.\n"),
              std::string::npos);
}

TEST_F(EditCliTest, RemovesButNotEverything) {
    const auto a = DataOfType("MIP", 30), b = DataOfType("MIP", 20), c = DataOfType("SRB", 10);
    const auto old = BuildArchive({{"A.MIP", a}, {"B.MIP", b}, {"C.SRB", c}});
    WriteFile(dir / "T.DAT", old);
    auto r = RunCli({"remove", Path("T.DAT"), "a.mip", "B.MIP", "c.srb"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "kelvot-cli: You cannot remove every file in the DAT file.\n");
    r = RunCli({"remove", Path("T.DAT"), "D.MIP"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "kelvot-cli: no entry is named D.MIP.\n");
    EXPECT_EQ(ReadWholeFile(dir / "T.DAT"), old);

    r = RunCli({"remove", Path("T.DAT"), "b.mip"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, Path("T.DAT") + ": rebuilt, 2 entries, 96 bytes\n");
    EXPECT_EQ(ReadWholeFile(dir / "T.DAT"), BuildArchive({{"A.MIP", a}, {"C.SRB", c}}));
}

TEST_F(EditCliTest, RenamesInPlaceWithTheWindowsChecks) {
    const auto old = BuildArchive({{"ABC.MIP", DataOfType("MIP")}, {"DEF.SRB", DataOfType("SRB")}});
    WriteFile(dir / "T.DAT", old);
    for (const char* taken : {"abc.mip", "ABC.MI"}) {
        const auto r = RunCli({"rename", Path("T.DAT"), "ABC.MIP", taken});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "kelvot-cli: The new filename you are providing already exists in the DAT file. "
                         "Please provide another filename.\n");
    }
    EXPECT_EQ(ReadWholeFile(dir / "T.DAT"), old);

    SetAttributes(dir / "T.DAT", kReadOnly);
    const auto r = RunCli({"rename", Path("T.DAT"), "def.srb", "\xC3\x89t\xC3\xA9.srb"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, Path("T.DAT") + ": renamed DEF.SRB to \xC3\x89t\xC3\xA9.srb\n");
    auto expected = old;
    std::copy_n("\xC9t\xE9.srb\0\0\0\0\0", 13, expected.begin() + RecordStart(1) + kNameField);
    EXPECT_EQ(ReadWholeFile(dir / "T.DAT"), expected);
}
