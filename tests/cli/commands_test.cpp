// Every command of kelvot-cli end to end, for what the command line adds to the core: arguments given as
// text, the exit statuses 0, 1 and 2, "kelvot-cli: " messages (the window's on one line), the result lines
// and the JSON output. What the archives and the written files hold is the core tests' concern.

#include "archive/archive_model.h"
#include "archive/dat_format.h"
#include "archive/file_system.h"
#include "archive/verify.h"
#include "picture_builder.h"
#include "run_cli.h"

#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <sys/stat.h>

using namespace kelvot;
using namespace kelvot::testkit;
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

std::vector<std::uint8_t> Text(std::string_view text) {
    return {text.begin(), text.end()};
}

const std::string kNotPackable = ": a name of at most 12 Windows-1252 characters with an extension of 2 or 3 "
                                 "characters, not dat, is needed.\n";

} // namespace

TEST_F(CliTest, ListPrintsTheNamesInTheWindowsOrderAsTextOrJson) {
    auto bytes = BuildArchive({{"zeta.mip", DataOfType("MIP", 8)},
                               {"Beta.SRB", DataOfType("SRB")},
                               {"ship.3do", DataOfType("3DO")},
                               {"\xC9t\xE9.txt", DataOfType("OTH")}});
    PutU32(bytes, RecordStart(3) + kSizeField, 0xFFFFFFFEu);
    const auto path = Write("A.DAT", bytes);
    EXPECT_EQ(Check({"list", path}, 0).out, "Beta.SRB\nship.3do\nzeta.mip\n\xC3\x89t\xC3\xA9.txt\n");
    EXPECT_EQ(Check({"list", path, "--filter", "IMAGES"}, 0).out, "Beta.SRB\nzeta.mip\n");
    EXPECT_EQ(json::parse(Check({"list", path, "--filter", "mip", "--json"}, 0).out),
              json::parse(R"([{"index": 0, "name": "zeta.mip", "type": "MIP", "size": 8, "offset": 110,
                               "nameFieldOffset": 12}])"));
    EXPECT_EQ(json::parse(Check({"list", path, "--json"}, 0).out)[3]["size"], -2); // sizes are signed
}

TEST_F(CliTest, InfoPrintsThePanelsCountingLinesUnderTheFilter) {
    PictureSpec mip = RandomPicture(PictureKind::Mip, 3, 128, 64, 1);
    mip.Mapp = 1;
    const auto path = Write("INFO.DAT", BuildArchive({{"WALL.MIP", EncodePicture(mip)},
                                                      {"READ.ME", DataOfType("OTH", 1536)},
                                                      {"ship.3do", DataOfType("3DO", 128)},
                                                      {"FONT.PBF", DataOfType("PBF")}}));
    EXPECT_EQ(Check({"info", path, "wall.mip"}, 0).out,
              "128 x 64 x 16 BPP\n4 / 4\n16.09 KB\nMIP\nType 3\nMapp 1\n0 Sub-images\n");
    EXPECT_EQ(Check({"info", path, "SHIP.3DO", "--filter", "3do"}, 0).out, "\n1 / 1\n0.12 KB\n3DO\n\n\n\n");
    EXPECT_EQ(json::parse(Check({"info", path, "WALL.MIP", "--json"}, 0).out),
              json::parse(R"({"panels": ["128 x 64 x 16 BPP", "4 / 4", "16.09 KB", "MIP", "Type 3", "Mapp 1",
                                         "0 Sub-images"], "type": "MIP", "formatCode": 3, "width": 128,
                              "height": 64})"));
    EXPECT_EQ(json::parse(Check({"info", path, "READ.ME", "--json"}, 0).out),
              json::parse(R"({"panels": ["", "2 / 4", "1.5 KB", ".ME", "", "", ""], "type": "OTH",
                              "formatCode": null, "width": null, "height": null})"));
    Check({"info", path, "NONE.MIP"}, 1, "kelvot-cli: No entry is named NONE.MIP.\n");
    Check({"info", path, "READ.ME", "--filter", "images"}, 1,
          "kelvot-cli: READ.ME is not listed under the filter images.\n");
}

TEST_F(CliTest, VerifyPrintsOkOrTheProblemsAsTextOrJson) {
    EXPECT_EQ(Check({"verify", Write("G.DAT", BuildArchive({{"A.MIP", DataOfType("MIP")}}))}, 0).out, "OK\n");
    auto bytes = BuildArchive({{"A.MIP", DataOfType("MIP")}, {"B.MIP", DataOfType("MIP")}});
    PutNameField(bytes, 1, {'.', '.'});
    PutU32(bytes, RecordStart(0) + kOffsetField, 0x7FFFFFFF);
    const auto bad = Write("B.DAT", bytes);
    const auto problems = VerifyArchiveFile(bad); // worded by the core
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(Check({"verify", bad}, 1).out, problems[0] + "\n" + problems[1] + "\n");
    EXPECT_EQ(json::parse(Check({"verify", bad, "--json"}, 1).out),
              (json{{"ok", false}, {"problems", problems}}));
}

TEST_F(CliTest, FilesThatCannotBeOpenedAndUsageErrors) {
    const std::string missing = Path("NONE.DAT"), fifo = Path("FIFO.DAT"), x = Path("x");
    const std::string archive = Write("A.DAT", BuildArchive({{"A.TXT", {1}}}));
    Check({"list", missing}, 1, "kelvot-cli: Cannot open " + missing + ": No such file or directory\n");
    // Special files are refused before they are read: a FIFO with no writer would hang the command.
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string fifoMessage =
        "kelvot-cli: Cannot open " + fifo + ": it is a FIFO, not a regular file.\n";
    for (const Args& args : {Args{"list", fifo}, {"verify", fifo}, {"add", fifo, Write("F.TXT", {'f'})}})
        Check(args, 1, fifoMessage);
    Check({"list", "/dev/zero"}, 1,
          "kelvot-cli: Cannot open /dev/zero: it is a character device, not a regular file.\n");
    fs::create_symlink(dir / "nowhere", dir / "dangling");
    Check({"extract", archive, Path("dangling")}, 1,
          "kelvot-cli: Cannot make the folder " + Path("dangling") + ": it is a symbolic link to " +
              Path("nowhere") + ", which does not exist.\n");

    Check({"frobnicate"}, 2,
          "kelvot-cli: unknown command \"frobnicate\"; the commands are list, info, verify, "
          "extract, export, create, add, remove, rename. Run with --help for more information.\n");
    const std::string e = "export " + archive + " " + x;
    for (const std::string& usage :
         Args{"", "list", "list " + archive + " --filter oth", "extract " + archive, e, e + " --format png",
              e + " --format jpg --quality great", e + " --format bmp --quality good",
              e + " --format bmp --max-megapixels 0"}) {
        std::istringstream words(usage);
        Check({std::istream_iterator<std::string>(words), {}}, 2);
    }
    EXPECT_FALSE(fs::exists(x));
    EXPECT_EQ(Check({"--version"}, 0).out, "kelvot-cli " KELVOT_VERSION "\n");
    EXPECT_NE(Check({"--help"}, 0).out.find("verify"), std::string::npos);
}

TEST_F(CliTest, CreatePacksAFolderWithTheWindowsChecks) {
    const std::string f = Path("f"),
                      notes = "kelvot-cli: " + Path("f/NOTES") + " is not packed" + kNotPackable;
    fs::create_directory(f);
    Write("f/NOTES", Text("x"));
    // The window's message on one line: each run of line breaks becomes a space.
    Check({"create", f, "a?b.dat"}, 1,
          "kelvot-cli: A filename cannot contain any of the following characters: \\ / : * ? \" < > | Please "
          "try "
          "again.\n");
    Check({"create", f, ".DAT"}, 1, "kelvot-cli: No DAT file was created: a name before .dat is needed.\n");
    Check({"create", f, "E.DAT"}, 1,
          notes + "kelvot-cli: No DAT file was created: " + f + " holds no file that can be packed.\n");
    EXPECT_EQ(FilesUnder(f).size(), 1u);
    Write("f/A.TXT", Text("0123456789"));
    EXPECT_EQ(Check({"create", f, "New.dat"}, 0, notes).out,
              Path("f/New.dat") + ": created, 1 entry, 39 bytes\n");
}

TEST_F(CliTest, AddAppendsOrRebuildsAndSaysWhatItLeftOut) {
    const auto archive = Write("T.DAT", BuildArchive({{"NEW.MIP", DataOfType("MIP", 20)}, {"B.SRB", {}}}));
    const auto notes = Write("NOTES", Text("x"));
    const std::string leftOut = "kelvot-cli: " + notes + " is not added" + kNotPackable;
    EXPECT_EQ(Check({"add", archive, Write("ADDED.TXT", Text("0123456789")), notes}, 0, leftOut).out,
              archive + ": appended to, 3 entries, 113 bytes\n");
    // A file of an entry's name, letter case ignored, takes its place.
    EXPECT_EQ(Check({"add", archive, Write("new.mip", DataOfType("MIP", 5))}, 0).out,
              archive + ": rebuilt, 3 entries, 98 bytes\n");
    Check({"add", archive, notes}, 1,
          leftOut + "kelvot-cli: Nothing was added: none of the files can be packed.\n");
}

TEST_F(CliTest, RemoveAndRenameTakeEntryNamesAsText) {
    const auto old = BuildArchive({{"A.MIP", DataOfType("MIP", 30)}, {"B.MIP", {}}, {"C.SRB", {}}});
    const auto archive = Write("T.DAT", old);
    Check({"remove", archive, "a.mip", "B.MIP", "c.srb"}, 1,
          "kelvot-cli: You cannot remove every file in the DAT file.\n");
    Check({"remove", archive, "D.MIP"}, 1, "kelvot-cli: no entry is named D.MIP.\n");
    Check({"rename", archive, "A.MIP", "c.srb"}, 1,
          "kelvot-cli: The new filename you are providing already exists in the DAT file. Please provide "
          "another "
          "filename.\n");
    EXPECT_EQ(ReadWholeFile(archive), old);
    EXPECT_EQ(Check({"remove", archive, "b.mip"}, 0).out, archive + ": rebuilt, 2 entries, 86 bytes\n");
    // UTF-8 text in, Windows-1252 bytes in the name field.
    EXPECT_EQ(Check({"rename", archive, "c.srb", "\xC3\x89t\xC3\xA9.srb"}, 0).out,
              archive + ": renamed C.SRB to \xC3\x89t\xC3\xA9.srb\n");
    EXPECT_EQ(LoadArchiveListing(archive).Directory.EntryNames, (Args{"A.MIP", "\xC9t\xE9.srb"}));
}

TEST_F(CliTest, ExtractWritesAllOrNamedEntriesAndListsWhatItLeftOut) {
    auto bytes = BuildArchive({{"A.MIP", {1, 2}}, {"B.TXT", {}}, {"a.mip", {3}}, {"X", {4}}});
    PutNameField(bytes, 3, {'.', '.'});
    const auto archive = Write("A.DAT", bytes);
    Check({"extract", archive, Path("new/deeper")}, 1,
          "kelvot-cli: \"A.MIP\" (entry 0) was overwritten by \"a.mip\" (entry 2): file names that differ "
          "only in "
          "letter case are written as one file.\nkelvot-cli: \"..\" (entry 3) was not extracted: its name "
          "cannot be "
          "used as a file name.\n");
    EXPECT_EQ(FilesUnder(dir / "new/deeper"), (FileTree{{"a.mip", {3}}, {"B.TXT", {}}}));
    EXPECT_EQ(Check({"extract", archive, Path("sel"), "A.Mip"}, 0).out, "");
    EXPECT_EQ(FilesUnder(dir / "sel"), (FileTree{{"A.MIP", {1, 2}}}));
    Check({"extract", archive, Path("none"), "A.MIP", "NONE"}, 1,
          "kelvot-cli: No entry is named \"NONE\".\n");
    EXPECT_FALSE(fs::exists(dir / "none")); // nothing written, not even the folder
}

TEST_F(CliTest, ExportWritesPicturesAndSaysWhichItCannotDecode) {
    const auto archive =
        Write("A.DAT", BuildArchive({{"M5.MIP", EncodePicture(RandomPicture(PictureKind::Mip, 5, 7, 5, 1))},
                                     {"ODD.SRB", EncodePicture(RandomPicture(PictureKind::Srb, 6, 21, 5, 7))},
                                     {"SHIP.3DO", DataOfType("3DO")}}));
    const std::string odd = "kelvot-cli: \"ODD.SRB\" (entry 1) was not exported: its format code 6 is not a "
                            "picture format Kelvot can decode.\n";
    Check({"export", archive, Path("bmp"), "--format", "bmp"}, 1, odd);
    EXPECT_TRUE(fs::exists(dir / "bmp" / "M5.bmp"));
    Check({"export", archive, Path("jpg"), "--format", "JPG", "--quality", "Average"}, 1, odd);
    EXPECT_TRUE(fs::exists(dir / "jpg" / "M5.jpg"));
    // Named entries, letter case ignored: one that holds no picture gives no file.
    EXPECT_EQ(Check({"export", archive, Path("named"), "--format", "jpg", "m5.mip", "SHIP.3DO"}, 0).out, "");
    EXPECT_EQ(FilesUnder(dir / "named").size(), 1u);
}
