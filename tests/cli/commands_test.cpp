// Every command of kelvot-cli end to end, for what the command line adds to the core: arguments given as
// text, the exit codes 0, 1 and 2, "kelvot-cli: " messages (the window's on one line), the result lines
// and the JSON output. The archives' bytes in every case are the editing and archive tests' concern.

#include "archive/dat_format.h"
#include "archive/file_system.h"
#include "archive_builder.h"
#include "picture_builder.h"
#include "run_cli.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>

using namespace kelvot;
using namespace kelvot::testkit;
namespace fs = std::filesystem;
using nlohmann::json;
using Data = std::vector<std::uint8_t>;

namespace {

Data Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

class CliTest : public ::testing::Test {
  protected:
    std::string Path(const std::string& name) const { return (dir / name).string(); }
    std::string Write(const std::string& name, const Data& bytes) {
        WriteFile(dir / name, bytes);
        return Path(name);
    }
    // Runs a command that must succeed, and returns what it printed on stdout.
    std::string Output(const std::vector<std::string>& args) {
        const CliResult r = RunCli(args);
        EXPECT_EQ(r.status, 0) << r.err;
        return r.out;
    }
    // Runs a command that must fail, and returns what it printed on stderr.
    std::string Refusal(const std::vector<std::string>& args) {
        const CliResult r = RunCli(args);
        EXPECT_EQ(r.status, 1) << r.out;
        return r.err;
    }
    TempFolder dir;
};

} // namespace

TEST_F(CliTest, ListsInTheWindowsOrderAsTextAndJson) {
    auto bytes = BuildArchive({{"zeta.mip", DataOfType("MIP", 8)},
                               {"Beta.SRB", DataOfType("SRB")},
                               {"ship.3do", DataOfType("3DO")},
                               {"\xC9t\xE9.txt", DataOfType("OTH")}});
    PutU32(bytes, RecordStart(3) + kSizeField, 0xFFFFFFFEu);
    const auto path = Write("A.DAT", bytes);
    EXPECT_EQ(Output({"list", path}), "Beta.SRB\nship.3do\nzeta.mip\n\xC3\x89t\xC3\xA9.txt\n");
    EXPECT_EQ(RunCli({"list", path, "--filter", "images"}).out, "Beta.SRB\nzeta.mip\n");
    EXPECT_EQ(RunCli({"list", path, "--filter", "3DO"}).out, "ship.3do\n");

    EXPECT_EQ(json::parse(Output({"list", path, "--filter", "mip", "--json"})),
              json::parse(R"([{"index": 0, "name": "zeta.mip", "type": "MIP", "size": 8,
                                                   "offset": 110, "nameFieldOffset": 12}])"));
    EXPECT_EQ(json::parse(RunCli({"list", path, "--json"}).out)[3]["size"], -2); // sizes are signed
}

TEST_F(CliTest, InfoPrintsThePanelsCountingLinesUnderTheFilter) {
    PictureSpec mip = RandomPicture(PictureKind::Mip, 3, 128, 64, 1);
    mip.Mapp = 1;
    const auto path = Write("INFO.DAT", BuildArchive({{"WALL.MIP", EncodePicture(mip)},
                                                      {"READ.ME", DataOfType("OTH", 1536)},
                                                      {"ship.3do", DataOfType("3DO", 128)},
                                                      {"FONT.PBF", DataOfType("PBF")}}));
    EXPECT_EQ(Output({"info", path, "wall.mip"}),
              "128 x 64 x 16 BPP\n4 / 4\n16.09 KB\nMIP\nType 3\nMapp 1\n0 Sub-images\n");
    EXPECT_EQ(Output({"info", path, "SHIP.3DO", "--filter", "3do"}), "\n1 / 1\n0.12 KB\n3DO\n\n\n\n");

    EXPECT_EQ(json::parse(Output({"info", path, "WALL.MIP", "--json"})),
              json::parse(R"({"panels": ["128 x 64 x 16 BPP", "4 / 4", "16.09 KB", "MIP", "Type 3", "Mapp 1",
                                         "0 Sub-images"], "type": "MIP", "formatCode": 3, "width": 128,
                              "height": 64})"));
    EXPECT_EQ(json::parse(Output({"info", path, "READ.ME", "--json"})),
              json::parse(R"({"panels": ["", "2 / 4", "1.5 KB", ".ME", "", "", ""], "type": "OTH",
                              "formatCode": null, "width": null, "height": null})"));

    EXPECT_EQ(Refusal({"info", path, "NONE.MIP"}), "kelvot-cli: No entry is named NONE.MIP.\n");
    EXPECT_EQ(Refusal({"info", path, "READ.ME", "--filter", "images"}),
              "kelvot-cli: READ.ME is not listed under the filter images.\n");
}

TEST_F(CliTest, VerifiesAndReportsProblems) {
    EXPECT_EQ(Output({"verify", Write("G.DAT", BuildArchive({{"A.MIP", DataOfType("MIP")}}))}), "OK\n");

    auto bytes = BuildArchive({{"A.MIP", DataOfType("MIP")}, {"B.MIP", DataOfType("MIP")}});
    PutNameField(bytes, 1, {'.', '.'});
    PutU32(bytes, RecordStart(0) + kOffsetField, 0x7FFFFFFF);
    const auto bad = Write("B.DAT", bytes);
    const std::vector<std::string> problems = {
        "entry 0 (\"A.MIP\"): its data (offset 2147483647, size 16) lies outside the file (88 bytes)",
        "entry 1 (\"..\"): the name cannot be used as a file name"};
    auto r = RunCli({"verify", bad});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, problems[0] + "\n" + problems[1] + "\n");
    r = RunCli({"verify", bad, "--json"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(json::parse(r.out), (json{{"ok", false}, {"problems", problems}}));
    r = RunCli({"verify", Write("Z.DAT", {0, 0})});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "the entry count is 0; an archive holds 1 to 32767 entries\n");
}

TEST_F(CliTest, FailuresAndUsage) {
    const std::string missing = (dir / "NONE.DAT").string();
    EXPECT_EQ(Refusal({"list", missing}),
              "kelvot-cli: Cannot open " + missing + ": No such file or directory\n");
    EXPECT_EQ(Refusal({"list", Write("E.DAT", {})}), "kelvot-cli: The file is empty.\n");
    for (const std::vector<std::string>& usage :
         {std::vector<std::string>{"list"}, {"frobnicate"}, {"list", "x", "--filter", "oth"}, {}})
        EXPECT_EQ(RunCli(usage).status, 2) << usage.size();
    EXPECT_EQ(Output({"--version"}), "kelvot-cli 1.2.0\n");
    EXPECT_NE(Output({"--help"}).find("verify"), std::string::npos);
}

TEST_F(CliTest, CreatesFromAFolderWithTheWindowsChecks) {
    fs::create_directories(dir / "f");
    WriteFile(dir / "f" / "A.TXT", Bytes("0123456789"));
    WriteFile(dir / "f" / "README", Bytes("not packed"));
    // The window's message on one line: each run of line breaks becomes a space.
    EXPECT_EQ(
        Refusal({"create", Path("f"), "a?b.dat"}),
        "kelvot-cli: A filename cannot contain any of the following characters: \\ / : * ? \" < > | Please "
        "try again.\n");
    EXPECT_EQ(Refusal({"create", Path("f"), ".DAT"}),
              "kelvot-cli: No DAT file was created: a name before .dat is needed.\n");
    fs::create_directory(dir / "empty");
    WriteFile(dir / "empty" / "NOTES", Bytes("x"));
    EXPECT_EQ(Refusal({"create", Path("empty"), "E.DAT"}),
              "kelvot-cli: " + Path("empty/NOTES") +
                  " is not packed: a name of at most 12 Windows-1252 characters with an extension of 2 or 3 "
                  "characters, not dat, is needed.\nkelvot-cli: No DAT file was created: " +
                  Path("empty") + " holds no file that can be packed.\n");
    EXPECT_EQ(FilesUnder(dir.path()).size(), 3u); // no archive made

    EXPECT_EQ(Output({"create", Path("f"), "New.dat"}), Path("f/New.dat") + ": created, 1 entry, 39 bytes\n");
    EXPECT_EQ(ReadWholeFile(dir / "f" / "New.dat"), BuildArchive({{"A.TXT", Bytes("0123456789")}}));
}

TEST_F(CliTest, AddsByAppendingOrRebuildingAndSaysWhatItLeftOut) {
    const auto b = DataOfType("SRB", 24);
    WriteFile(dir / "T.DAT", BuildArchive({{"NEW.MIP", DataOfType("MIP", 20)}, {"B.SRB", b}}));
    WriteFile(dir / "ADDED.TXT", Bytes("0123456789"));
    WriteFile(dir / "NOTES", Bytes("x"));
    auto r = RunCli({"add", Path("T.DAT"), Path("ADDED.TXT"), Path("NOTES")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, Path("T.DAT") + ": appended to, 3 entries, 137 bytes\n");
    EXPECT_EQ(r.err,
              "kelvot-cli: " + Path("NOTES") +
                  " is not added: a name of at most 12 Windows-1252 characters with an extension of 2 or "
                  "3 characters, not dat, is needed.\n");

    WriteFile(dir / "new.mip", DataOfType("MIP", 5));
    EXPECT_EQ(Output({"add", Path("T.DAT"), Path("new.mip")}),
              Path("T.DAT") + ": rebuilt, 3 entries, 122 bytes\n");
    EXPECT_EQ(
        ReadWholeFile(dir / "T.DAT"),
        BuildArchive({{"NEW.MIP", DataOfType("MIP", 5)}, {"B.SRB", b}, {"ADDED.TXT", Bytes("0123456789")}}));
    EXPECT_NE(Refusal({"add", Path("T.DAT"), Path("NOTES")})
                  .find("kelvot-cli: Nothing was added: none of the files can be packed.\n"),
              std::string::npos);
}

TEST_F(CliTest, RemovesAndRenamesEntriesNamedAsText) {
    const auto a = DataOfType("MIP", 30), c = DataOfType("SRB", 10);
    const auto old = BuildArchive({{"A.MIP", a}, {"B.MIP", DataOfType("MIP", 20)}, {"C.SRB", c}});
    WriteFile(dir / "T.DAT", old);
    EXPECT_EQ(Refusal({"remove", Path("T.DAT"), "a.mip", "B.MIP", "c.srb"}),
              "kelvot-cli: You cannot remove every file in the DAT file.\n");
    EXPECT_EQ(Refusal({"remove", Path("T.DAT"), "D.MIP"}), "kelvot-cli: no entry is named D.MIP.\n");
    EXPECT_EQ(Refusal({"rename", Path("T.DAT"), "A.MIP", "c.srb"}),
              "kelvot-cli: The new filename you are providing already exists in the DAT file. Please provide "
              "another filename.\n");
    EXPECT_EQ(ReadWholeFile(dir / "T.DAT"), old);

    EXPECT_EQ(Output({"remove", Path("T.DAT"), "b.mip"}), Path("T.DAT") + ": rebuilt, 2 entries, 96 bytes\n");
    auto expected = BuildArchive({{"A.MIP", a}, {"C.SRB", c}});
    EXPECT_EQ(ReadWholeFile(dir / "T.DAT"), expected);

    // UTF-8 text in, Windows-1252 bytes in the name field.
    EXPECT_EQ(Output({"rename", Path("T.DAT"), "c.srb", "\xC3\x89t\xC3\xA9.srb"}),
              Path("T.DAT") + ": renamed C.SRB to \xC3\x89t\xC3\xA9.srb\n");
    std::copy_n("\xC9t\xE9.srb\0\0\0\0\0", 13, expected.begin() + RecordStart(1) + kNameField);
    EXPECT_EQ(ReadWholeFile(dir / "T.DAT"), expected);
}

TEST_F(CliTest, ExtractsAllOrNamedEntriesAndListsWhatItLeftOut) {
    auto bytes = BuildArchive({{"A.MIP", {1, 2}}, {"B.TXT", {}}, {"a.mip", {3}}, {"X", {4}}});
    PutNameField(bytes, 3, {'.', '.'});
    const auto archive = Write("A.DAT", bytes);
    EXPECT_EQ(Refusal({"extract", archive, Path("new/deeper")}),
              "kelvot-cli: \"A.MIP\" (entry 0) was overwritten by \"a.mip\" (entry 2): file names that differ "
              "only in letter case are written as one file.\nkelvot-cli: \"..\" (entry 3) was not extracted: "
              "its name cannot be used as a file name.\n");
    EXPECT_EQ(FilesUnder(dir / "new/deeper"), (FileTree{{"a.mip", {3}}, {"B.TXT", {}}}));

    EXPECT_EQ(Output({"extract", archive, Path("sel"), "A.Mip"}), "");
    EXPECT_EQ(FilesUnder(dir / "sel"), (FileTree{{"A.MIP", {1, 2}}}));
    EXPECT_EQ(Refusal({"extract", archive, Path("none"), "A.MIP", "NONE"}),
              "kelvot-cli: No entry is named \"NONE\".\n");
    EXPECT_FALSE(fs::exists(dir / "none")); // nothing written, not even the folder
    EXPECT_EQ(RunCli({"extract", archive}).status, 2);
}

// ImageMagick, independent of our writer and of FreeImage, opens every file with the right size; it
// rejects a BMP whose bfSize is not the file's length.
TEST_F(CliTest, ExportsBmpAndJpegFilesThatImageMagickOpens) {
    std::vector<TestEntry> entries;
    for (const auto kind : {PictureKind::Mip, PictureKind::Srb, PictureKind::Pbf})
        for (std::uint8_t code = 0; code <= 5; ++code)
            entries.push_back({std::to_string(int(kind)) + std::to_string(code) + ".PIC",
                               EncodePicture(RandomPicture(kind, code, 7 + code, 5, code))});
    entries.push_back({"ODD.SRB", EncodePicture(RandomPicture(PictureKind::Srb, 6, 21, 5, 7))});
    entries.push_back({"SHIP.3DO", DataOfType("3DO")});
    const auto archive = Write("A.DAT", BuildArchive(entries));
    const std::string odd = "kelvot-cli: \"ODD.SRB\" (entry 18) was not exported: its format code 6 is not a "
                            "picture format Kelvot can decode.\n";
    EXPECT_EQ(Refusal({"export", archive, Path("out"), "--format", "bmp"}), odd);
    EXPECT_EQ(Refusal({"export", archive, Path("out"), "--format", "JPG", "--quality", "Average"}), odd);
    EXPECT_EQ(Output({"export", archive, Path("named"), "--format", "jpg", "12.pic", "SHIP.3DO"}), "");
    EXPECT_EQ(FilesUnder(dir / "named").size(), 1u);
    EXPECT_TRUE(fs::exists(dir / "named" / "12.jpg"));
    for (const auto& usage :
         std::vector<std::vector<std::string>>{{},
                                               {"--format", "png"},
                                               {"--format", "jpg", "--quality", "great"},
                                               {"--format", "bmp", "--quality", "good"}}) {
        std::vector<std::string> args{"export", archive, Path("x")};
        args.insert(args.end(), usage.begin(), usage.end());
        EXPECT_EQ(RunCli(args).status, 2) << args.size();
    }
    EXPECT_FALSE(fs::exists(dir / "x"));

    const FileTree files = FilesUnder(dir / "out");
    EXPECT_EQ(files.size(), 18u + 5u + 18u); // colour files, mask files, JPEG files
    if (std::system("identify -version > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "ImageMagick is not installed";
    for (const auto& [path, bytes] : files) {
        const std::string name = path.string();
        FILE* pipe = ::popen(
            ("identify -regard-warnings -format '%m %w %h' '" + Path("out/" + name) + "' 2>&1").c_str(), "r");
        char line[512] = {};
        const std::string out = std::fgets(line, sizeof line, pipe) ? line : "";
        EXPECT_EQ(::pclose(pipe), 0) << name << ": " << out;
        EXPECT_EQ(out,
                  (name.ends_with(".jpg") ? "JPEG " : "BMP3 ") + std::to_string(7 + name[1] - '0') + " 5")
            << name;
    }
}
