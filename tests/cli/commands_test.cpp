// Every command of kelvot-cli end to end, for what the command line adds to the core: arguments given as
// text, the exit statuses 0, 1 and 2, "kelvot-cli: " messages (the window's on one line), the result lines
// and the JSON output. What the archives and the written files hold is the core tests' concern.

#include "archive/archive_model.h"
#include "archive/dat_format.h"
#include "archive/file_system.h"
#include "archive/verify.h"
#include "hostile_archives.h"
#include "picture_builder.h"
#include "run_cli.h"

#include <nlohmann/json.hpp>
#include <pty.h>
#include <sys/stat.h>
#include <thread>

using namespace kelvot;
using namespace kelvot::testkit;
namespace fs = std::filesystem;
using nlohmann::json;
using Data = std::vector<std::uint8_t>;

namespace {

// Runs kelvot-cli with a pseudo-terminal as stdin, stdout and stderr; everything it wrote there.
std::string RunOnTerminal(const Args& args) {
    int terminal = -1, status = 0;
    const pid_t pid = ::forkpty(&terminal, nullptr, nullptr, nullptr);
    if (pid == 0) ExecCli(args);
    std::string text;
    char buffer[4096];
    // Reading ends with EIO once the program has ended and the terminal has no writer left.
    for (ssize_t n; pid > 0 && (n = ::read(terminal, buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    ::close(terminal);
    ::waitpid(pid, &status, 0);
    EXPECT_EQ(status, 0) << text;
    return text;
}

class Hardening : public CliTest {}; // kelvot-cli attacked or used carelessly, as once went wrong

} // namespace

TEST_F(CliTest, ListInfoAndVerifyPrintAsTextOrJson) {
    PictureSpec mip = RandomPicture(PictureKind::Mip, 3, 128, 64, 1);
    mip.Mapp = 1;
    auto bytes = BuildArchive({{"WALL.MIP", EncodePicture(mip)},
                               {"READ.ME", DataOfType("OTH", 1536)},
                               {"ship.3do", DataOfType("3DO", 128)},
                               {"Beta.SRB", DataOfType("SRB")},
                               {"\xC9t\xE9.txt", DataOfType("OTH")}});
    PutU32(bytes, RecordStart(4) + kSizeField, 0xFFFFFFFEu);
    PutU32(bytes, RecordStart(1) + kOffsetField, 0x7FFFFFFF);
    const auto path = Write("A.DAT", bytes);
    EXPECT_EQ(Check({"list", path}, 0).out, "Beta.SRB\nREAD.ME\nship.3do\nWALL.MIP\n\xC3\x89t\xC3\xA9.txt\n");
    EXPECT_EQ(Check({"list", path, "--filter", "IMAGES"}, 0).out, "Beta.SRB\nWALL.MIP\n");
    EXPECT_EQ(Check({"list", path, "--name", "\xC3\xA9T", "--filter", "all"}, 0).out,
              "\xC3\x89t\xC3\xA9.txt\n");
    EXPECT_EQ(json::parse(Check({"list", path, "--filter", "3do", "--json"}, 0).out),
              json::parse(R"([{"index": 2, "name": "ship.3do", "type": "3DO", "size": 128, "offset": 18153,
                               "nameFieldOffset": 66}])"));
    EXPECT_EQ(json::parse(Check({"list", path, "--json"}, 0).out)[4]["size"], -2); // sizes are signed
    EXPECT_EQ(Check({"info", path, "SHIP.3DO", "--filter", "3do"}, 0).out, "\n1 / 1\n0.12 KB\n3DO\n\n\n\n");
    EXPECT_EQ(json::parse(Check({"info", path, "wall.mip", "--json"}, 0).out),
              json::parse(R"({"panels": ["128 x 64 x 16 BPP", "4 / 5", "16.09 KB", "MIP", "Type 3", "Mapp 1",
                                         "0 Sub-images"], "type": "MIP", "formatCode": 3, "width": 128,
                              "height": 64})"));
    Check({"info", path, "NONE.MIP"}, 1, "kelvot-cli: No entry is named \"NONE.MIP\".\n");
    Check({"info", path, "READ.ME", "--filter", "images"}, 1,
          "kelvot-cli: READ.ME is not listed under the filter images.\n");
    const auto problems = VerifyArchiveFile(path); // worded by the core
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(Check({"verify", path}, 1).out, problems[0] + "\n" + problems[1] + "\n");
    EXPECT_EQ(json::parse(Check({"verify", path, "--json"}, 1).out),
              (json{{"ok", false}, {"problems", problems}}));
}

TEST_F(CliTest, FilesThatCannotBeOpenedAndUsageErrors) {
    const std::string a = Write("A.DAT", BuildArchive({{"A.TXT", {1}}})), fifo = Path("FIFO"), x = Path("x");
    // Special files are refused before they are read: a FIFO with no writer would hang the command.
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const Args& args : {Args{"list", fifo}, {"add", fifo, Write("F.TXT", {'f'})}})
        Check(args, 1, "kelvot-cli: Cannot open " + fifo + ": it is a FIFO, not a regular file.\n");
    Check({"list", "/dev/zero"}, 1,
          "kelvot-cli: Cannot open /dev/zero: it is a character device, not a regular file.\n");
    fs::create_symlink(dir / "nowhere", dir / "dangling");
    Check({"extract", a, Path("dangling")}, 1,
          "kelvot-cli: Cannot make the folder " + Path("dangling") + ": it is a symbolic link to " +
              Path("nowhere") + ", which does not exist.\n");
    Check({"frobnicate"}, 2,
          "kelvot-cli: unknown command \"frobnicate\"; the commands are list, info, verify, extract, export, "
          "create, add, remove, rename, import, replace" +
              std::string(kWithMount ? ", mount" : "") + ". Run with --help for more information.\n");
    // Usage errors end with status 2 before anything is written.
    for (const Args& usage : {Args{}, {"extract", a}, {"export", a, x, "--format", "gif"}})
        Check(usage, 2);
    EXPECT_FALSE(fs::exists(x));
    EXPECT_EQ(Check({"--version"}, 0).out, "kelvot-cli " KELVOT_VERSION "\n");
}

TEST_F(CliTest, EditsSayWhatTheyDidAndWhatTheyLeftOut) {
    const std::string f = Path("f"), archive = Path("f/New.dat"), notes = Write("NOTES", {'x'});
    fs::create_directory(f);
    Check({"create", f, ".DAT"}, 1, "kelvot-cli: No DAT file was created: a name before .dat is needed.\n");
    Check({"create", f, "E.DAT"}, 1,
          "kelvot-cli: No DAT file was created: " + f + " holds no file that can be packed.\n");
    EXPECT_TRUE(fs::is_empty(f));
    Write("f/A.TXT", Data(10, 'a'));
    EXPECT_EQ(Check({"create", f, "New.dat"}, 0).out, archive + ": created, 1 entry, 39 bytes\n");
    const std::string leftOut = "kelvot-cli: " + notes +
                                " is not added: a name of at most 12 Windows-1252 "
                                "characters with an extension of 2 or 3 characters, not dat, is needed.\n";
    // A file given twice, or by another path, is added once.
    const auto added = Write("ADDED.TXT", Data(10, 'a'));
    EXPECT_EQ(Check({"add", archive, added, notes, added, Path("./ADDED.TXT")}, 0, leftOut).out,
              archive + ": appended to, 2 entries, 76 bytes\n");
    // A file of an entry's name, letter case ignored, takes its place.
    EXPECT_EQ(Check({"add", archive, Write("a.txt", {'b'})}, 0).out,
              archive + ": rebuilt, 2 entries, 67 bytes\n");
    Check({"add", archive, notes}, 1,
          leftOut + "kelvot-cli: Nothing was added: none of the files can be packed.\n");

    Check({"remove", archive, "D.MIP"}, 1, "kelvot-cli: No entry is named \"D.MIP\".\n");
    // The window's message on one line: each run of line breaks becomes a space.
    Check({"rename", archive, "A.TXT", "added.txt"}, 1,
          "kelvot-cli: The new filename you are providing already exists in the DAT file. "
          "Please provide another filename.\n");
    EXPECT_EQ(Check({"remove", archive, "added.txt"}, 0).out, archive + ": rebuilt, 1 entry, 30 bytes\n");
    EXPECT_EQ(Check({"rename", archive, "a.txt", "\xC3\x89t\xC3\xA9.txt"}, 0).out, // UTF-8 text
              archive + ": renamed A.TXT to \xC3\x89t\xC3\xA9.txt\n");
}

TEST_F(CliTest, ExtractWritesTheEntriesAndListsWhatItLeftOut) {
    auto bytes = BuildArchive({{"A.MIP", {1, 2}}, {"B.TXT", {}}, {"X", {4}}});
    PutNameField(bytes, 2, {'.', '.'});
    const auto archive = Write("A.DAT", bytes);
    Check({"extract", archive, Path("new/deeper")}, 1,
          "kelvot-cli: \"..\" (entry 2) was not extracted: its name cannot be used as a file name.\n");
    EXPECT_EQ(FilesUnder(dir / "new/deeper"), (FileTree{{"A.MIP", {1, 2}}, {"B.TXT", {}}}));
    Check({"extract", archive, Path("none"), "A.MIP", "NONE"}, 1,
          "kelvot-cli: No entry is named \"NONE\".\n");
    EXPECT_FALSE(fs::exists(dir / "none")); // nothing written, not even the folder
}

// The loop a modder runs: a picture out as PNG (ImageMagick, independent of us, reads it), back in, the
// archive as it was; another picture's file is reduced to 16 colours, and replace takes any bytes. A picture
// that cannot be decoded is told of; the others are exported all the same.
TEST_F(CliTest, PicturesGoOutAsPngAndComeBackInAndReplaceTakesAnyFile) {
    const Data old = BuildArchive({{"M0.MIP", EncodePicture(RandomPicture(PictureKind::Mip, 0, 9, 6, 1))},
                                   {"S5.SRB", EncodePicture(RandomPicture(PictureKind::Srb, 5, 9, 6, 2))},
                                   {"NOTE.TXT", DataOfType("OTH")},
                                   {"ODD.SRB", EncodePicture(RandomPicture(PictureKind::Srb, 6, 21, 5, 7))}});
    const auto archive = Write("A.DAT", old);
    Check({"export", archive, Path("png"), "--format", "PNG"}, 1,
          "kelvot-cli: \"ODD.SRB\" (entry 3) was not exported: its format code 6 is not a picture format "
          "Kelvot can decode.\n");
    Check({"export", archive, Path("jpg"), "--format", "jpg", "--quality", "Average", "m0.mip"}, 0);
    if (std::system("identify -version > /dev/null 2>&1") == 0) {
        FILE* pipe = ::popen(("identify -format '%m %w %h,' '" + Path("png") + "'/*.png").c_str(), "r");
        char line[64] = {};
        EXPECT_STREQ(std::fgets(line, sizeof line, pipe), "PNG 9 6,PNG 9 6,");
        ::pclose(pipe);
    }
    EXPECT_EQ(Check({"import", archive, "m0.mip", Path("png/M0.png")}, 0).out,
              archive + ": imported " + Path("png/M0.png") + " into m0.mip\n");
    EXPECT_EQ(ReadFile(archive), old);
    EXPECT_EQ(Check({"import", archive, "M0.MIP", Path("png/S5.png")}, 0).out,
              archive + ": imported " + Path("png/S5.png") + " into M0.MIP, reduced 54 colours to 16\n");
    EXPECT_EQ(Check({"replace", archive, "note.txt", Write("N.TXT", {'n'})}, 0).out,
              archive + ": rebuilt, 4 entries, " + std::to_string(old.size() - 15) + " bytes\n");
}

// On a terminal the progress line starts at the first step and is erased before anything else is printed;
// with stderr a file it never shows. Extract counts entries, an edit bytes.
TEST_F(CliTest, ProgressShowsOnATerminalOnlyAndIsErasedBeforeTheOutput) {
    std::vector<TestEntry> entries;
    for (int i = 0; i < 40; ++i)
        entries.push_back({"P" + std::to_string(i) + ".TXT", Data(1000, 'p')});
    const std::string a = Path("A.DAT"), erase = "\r\033[K";
    for (const Args& args : {Args{"extract", a, Path("x")}, {"remove", a, "P7.TXT"}}) {
        SCOPED_TRACE(args[0]);
        WriteFile(a, BuildArchive(entries));
        const CliResult r = RunCli(args);
        EXPECT_TRUE(r.status == 0 && r.err.empty()) << r.err;
        WriteFile(a, BuildArchive(entries));
        const std::string text = RunOnTerminal(args);
        ASSERT_TRUE(text.starts_with(erase + args[0] + ": ")) << text;
        EXPECT_NE(text.find(args[0] == "extract" ? " of 40 entries" : " MiB)"), std::string::npos) << text;
        const std::size_t last = text.rfind(erase);
        EXPECT_EQ(text.substr(0, last).find('\n'), std::string::npos) << text;
        std::string rest = text.substr(last + erase.size());
        std::erase(rest, '\r'); // the terminal writes "\n" as "\r\n"
        EXPECT_EQ(rest, r.out); // what is left is the command's own output
    }
}

// Two edits of one archive at once: the second waits for the first and builds on its result.
TEST_F(Hardening, EditsAtTheSameTimeAreNeverLost) {
    const Args add{"add", Path("T.DAT"), Write("P.TXT", {'p'})};
    for (int round = 0; round < 20; ++round) {
        Write("T.DAT", BuildArchive({{"BASE.TXT", Data(200000, 'b')}}));
        const Args other = round % 2 ? Args{"rename", Path("T.DAT"), "BASE.TXT", "R.TXT"}
                                     : Args{"add", Path("T.DAT"), Write("Q.TXT", {'q'})};
        std::thread first([&] { EXPECT_EQ(RunCli(add).status, 0); });
        EXPECT_EQ(RunCli(other).status, 0);
        first.join();
        auto names = LoadArchive(Path("T.DAT")).Directory.EntryNames;
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (round % 2 ? Args{"P.TXT", "R.TXT"} : Args{"BASE.TXT", "P.TXT", "Q.TXT"})) << round;
    }
}

// An entry of the archive's own name, extracted beside it, leaves the archive as it is; names with control
// bytes reach the terminal escaped, one line each, and are never written.
TEST_F(Hardening, HostileNamesNeitherDriveTheTerminalNorReplaceTheArchive) {
    std::map<std::string, Data> set;
    for (auto& hostile : HostileArchives())
        set[hostile.name] = hostile.bytes;
    const std::string self = Write("ARCH.DAT", set["self-named.dat"]);
    EXPECT_EQ(RunCli({"extract", self, dir.path().string()}).status, 1);
    EXPECT_EQ(ReadFile(self), set["self-named.dat"]);

    const std::string archive = Write("C.DAT", set["control-names.dat"]);
    EXPECT_EQ(Check({"list", archive}, 0).out,
              "\\x1b]0;T\\x07.TXT\nA\\x0aB.TXT\nPLAIN.TXT\nX\\x0dY.TXT\n\\x9d\\x90.TXT\n");
    const CliResult extract = RunCli({"extract", archive, Path("out")});
    EXPECT_TRUE(extract.status == 1 && std::ranges::count(extract.err, '\n') == 4) << extract.err;
    EXPECT_EQ(FilesUnder(dir / "out"), (FileTree{{"PLAIN.TXT", {'p', 'l', 'a', 'i', 'n'}}}));
}

// verify and info read the directory and a header, never a whole file or entry: a 3 GiB archive and a
// 1.5 GiB entry, with 1 GiB of address space. An offset past 2 GiB is inside the file.
TEST_F(Hardening, LargeSparseArchivesAreReadOnlyWhereNeeded) {
    Data bytes = BuildArchive({{"FAR.TXT", {}}, {"BIG.MIP", {}}});
    PutU32(bytes, RecordStart(0) + kOffsetField, 0x80000010u);
    PutU32(bytes, RecordStart(0) + kSizeField, 3);
    PutU32(bytes, RecordStart(1) + kSizeField, 0x60000000u);
    const std::string archive = Path("SPARSE.DAT");
    WriteSparse(archive, {bytes, std::uint64_t{3} << 30});
    EXPECT_EQ(Check({"verify", archive}, 0, "", {60, kAddressSpace}).out, "OK\n");
    Check({"info", archive, "BIG.MIP"}, 0, "", {60, kAddressSpace});
}

TEST_F(Hardening, HugePicturesAndExtractionBombsAreRefusedBeforeAnythingIsWritten) {
    const std::string huge = Path("HUGE.DAT"), bomb = Path("BOMB.DAT");
    WriteSparse(huge, HugePicture());
    Check({"export", huge, Path("out"), "--format", "bmp"}, 1,
          "kelvot-cli: \"HUGE.MIP\" (entry 0) was not exported: its picture is 32767 x 16383 pixels (536.8 "
          "megapixels), which would take about 1536 MiB to decode; the limit is 256 megapixels.\n",
          {60, kAddressSpace});
#if !defined(__SANITIZE_ADDRESS__)
    // Raised past what memory allows, the limit lets the system say so in its words.
    Check({"export", huge, Path("out"), "--format", "jpg", "--max-megapixels", "1000"}, 1,
          "kelvot-cli: Cannot allocate memory\n", {60, kAddressSpace});
#endif
    WriteSparse(bomb, ExtractionBomb());
    const CliResult r = RunCli({"extract", bomb, Path("out2")}, {60, 0, std::size_t{64} << 20});
    EXPECT_TRUE(r.status == 1 &&
                r.err.starts_with("kelvot-cli: The entries take 140704204029928 bytes, but " + Path("out2") +
                                  " has only "))
        << r.err;
    EXPECT_TRUE(FilesUnder(dir / "out2").empty());
}

// A write past `ulimit -f` fails with its own message; nothing is left behind and the archive stays.
TEST_F(Hardening, AFileSizeLimitEndsTheEditWithAMessage) {
    const Data old = BuildArchive({{"A.TXT", Data(1000, 'a')}});
    const std::string archive = Write("T.DAT", old);
    Check({"add", archive, Write("BIG.TXT", Data(20000, 'b'))}, 1,
          "kelvot-cli: Cannot write " + archive + ": File too large\n", {60, 0, 8192});
    EXPECT_EQ(ReadFile(archive), old);
    EXPECT_EQ(FilesUnder(dir.path()).size(), 2u);
}

TEST_F(Hardening, CreateTakesNothingFromOutsideTheFolder) {
    Write("secret.txt", {'s'});
    fs::create_directory(dir / "f");
    Write("f/IN.TXT", {'i'});
    fs::create_symlink(dir / "secret.txt", dir / "f" / "OUT.TXT");
    fs::create_symlink("IN.TXT", dir / "f" / "ALSO.TXT");
    Check({"create", Path("f"), "F.DAT"}, 0,
          "kelvot-cli: " + Path("f/OUT.TXT") +
              " is not packed: it is a symbolic link to a file outside the folder.\n");
    EXPECT_EQ(LoadArchive(dir / "f" / "F.DAT").EntryCount, 2); // IN.TXT and ALSO.TXT
}

// Run as root, an edit gives the new archive the old one's owner, group and mode; a hard link keeps the
// old bytes, and the command says so.
TEST_F(Hardening, EditsKeepOwnerAndModeAndTellOfHardLinks) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
    const std::string archive = Write("T.DAT", BuildArchive({{"A.TXT", {1}}}));
    ASSERT_EQ(::chown(archive.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(archive.c_str(), 0640), 0);
    fs::create_hard_link(archive, dir / "LINK.DAT");
    Check({"add", archive, Write("B.TXT", {2})}, 0,
          "kelvot-cli: " + archive + " had 1 other hard link; it still holds the old contents.\n");
    struct stat st {};
    ASSERT_EQ(::stat(archive.c_str(), &st), 0);
    EXPECT_EQ(std::tuple(st.st_uid, st.st_gid, st.st_mode & 07777), std::tuple(65534u, 65534u, 0640u));
    EXPECT_EQ(LoadArchive(dir / "LINK.DAT").EntryCount, 1);
}
