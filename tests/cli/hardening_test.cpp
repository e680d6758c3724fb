// kelvot-cli attacked, or used carelessly: edits at the same time, special files, sparse archives that
// claim far more than they hold, links, owners and file size limits. Each case once lost data, hung, ran
// out of memory or said something unhelpful.

#include "archive/archive_model.h"
#include "archive/file_system.h"
#include "archive_builder.h"
#include "hostile_archives.h"
#include "run_cli.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace kelvot;
using namespace kelvot::testkit;
namespace fs = std::filesystem;
using Data = std::vector<std::uint8_t>;

namespace {

class Hardening : public ::testing::Test {
  protected:
    std::string Path(const std::string& name) const { return (dir / name).string(); }
    std::string Write(const std::string& name, const Data& bytes) {
        WriteFile(dir / name, bytes);
        return Path(name);
    }
    TempFolder dir;
};

#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t kAddressSpace = 0; // the sanitizer reserves far more address space than it uses
#else
constexpr std::size_t kAddressSpace = std::size_t{1} << 30;
#endif

} // namespace

// Two edits of one archive at once: the second waits for the first and builds on its result.
TEST_F(Hardening, EditsAtTheSameTimeAreNeverLost) {
    const Data base = BuildArchive({{"BASE.TXT", Data(200000, 'b')}});
    for (int round = 0; round < 20; ++round) {
        const std::string archive = Write("T.DAT", base);
        const std::string p = Write("P" + std::to_string(round) + ".TXT", {'p'});
        const std::string q = Write("Q" + std::to_string(round) + ".TXT", {'q'});
        CliResult first, second;
        std::thread other([&] { first = RunCli({"add", archive, p}); });
        second = round % 2 == 0 ? RunCli({"add", archive, q}) : RunCli({"rename", archive, "BASE.TXT", "R.TXT"});
        other.join();
        ASSERT_EQ(first.status, 0) << first.err;
        ASSERT_EQ(second.status, 0) << second.err;
        auto names = LoadArchiveListing(archive).Directory.EntryNames;
        std::sort(names.begin(), names.end());
        const std::string n = std::to_string(round);
        EXPECT_EQ(names, (round % 2 == 0 ? std::vector<std::string>{"BASE.TXT", "P" + n + ".TXT", "Q" + n + ".TXT"}
                                         : std::vector<std::string>{"P" + n + ".TXT", "R.TXT"}))
            << "round " << round;
    }
}

TEST_F(Hardening, SpecialFilesAndNamesGetClearMessages) {
    const std::string fifo = Path("FIFO.DAT");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string file = Write("F.TXT", {'f'});
    for (const auto& args : {std::vector<std::string>{"list", fifo}, {"verify", fifo}, {"add", fifo, file}})
        EXPECT_EQ(RunCli(args, {10}).err, "kelvot-cli: Cannot open " + fifo + ": it is a FIFO, not a regular file.\n")
            << args[0];
    EXPECT_EQ(RunCli({"list", "/dev/zero"}).err,
              "kelvot-cli: Cannot open /dev/zero: it is a character device, not a regular file.\n");
    const CliResult unknown = RunCli({"frobnicate"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_TRUE(unknown.err.starts_with("kelvot-cli: unknown command \"frobnicate\"; the commands are list, "));
    const std::string archive = Write("A.DAT", BuildArchive({{"A.TXT", {1}}}));
    fs::create_symlink(dir / "nowhere", dir / "dangling");
    EXPECT_EQ(RunCli({"extract", archive, Path("dangling")}).err,
              "kelvot-cli: Cannot make the folder " + Path("dangling") + ": it is a symbolic link to " +
                  Path("nowhere") + ", which does not exist.\n");
}

TEST_F(Hardening, HostileNamesNeitherDriveTheTerminalNorReplaceTheArchive) {
    const auto set = HostileArchives();
    auto bytesOf = [&](const std::string& name) {
        return std::find_if(set.begin(), set.end(), [&](auto& a) { return a.name == name; })->bytes;
    };
    // Extracted into its own folder, an archive holding an entry of its own name stays as it is.
    const std::string self = Write("ARCH.DAT", bytesOf("self-named.dat"));
    EXPECT_EQ(RunCli({"extract", self, dir.path().string()}).err,
              "kelvot-cli: \"ARCH.DAT\" (entry 0) was not extracted: its file would replace the archive being read.\n");
    EXPECT_EQ(ReadWholeFile(self), bytesOf("self-named.dat"));
    EXPECT_TRUE(fs::exists(dir / "OTHER.TXT"));

    const std::string archive = Write("C.DAT", bytesOf("control-names.dat"));
    EXPECT_EQ(RunCli({"list", archive}).out, "\\x1b]0;T\\x07.TXT\nA\\x0aB.TXT\nPLAIN.TXT\nX\\x0dY.TXT\n\\x9d\\x90.TXT\n");
    const CliResult verify = RunCli({"verify", archive});
    EXPECT_EQ(verify.status, 1);
    EXPECT_NE(verify.out.find("entry 2 (\"\\x1b]0;T\\x07.TXT\"): the name holds control characters"),
              std::string::npos);
    const CliResult extract = RunCli({"extract", archive, Path("out")});
    EXPECT_EQ(extract.status, 1);
    EXPECT_EQ(FilesUnder(dir / "out"), (FileTree{{"PLAIN.TXT", {'p', 'l', 'a', 'i', 'n'}}}));
    EXPECT_EQ(std::count(extract.err.begin(), extract.err.end(), '\n'), 4);
}

// verify and info read the directory and a header, never a whole file or entry: a 3 GiB archive and a
// 1.5 GiB entry, with 1 GiB of address space. An offset past 2 GiB is inside the file for both verify and
// extract.
TEST_F(Hardening, LargeSparseArchivesAreReadOnlyWhereNeeded) {
    Data bytes = BuildArchive({{"FAR.TXT", {}}, {"BIG.MIP", {}}});
    PutU32(bytes, RecordStart(0) + kOffsetField, 0x80000010u);
    PutU32(bytes, RecordStart(0) + kSizeField, 3);
    PutU32(bytes, RecordStart(1) + kSizeField, 0x60000000u);
    const std::string archive = Path("SPARSE.DAT");
    WriteSparse(archive, {bytes, std::uint64_t{3} << 30});
    EXPECT_EQ(RunCli({"verify", archive}, {60, kAddressSpace}).out, "OK\n");
    const CliResult info = RunCli({"info", archive, "BIG.MIP"}, {60, kAddressSpace});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(RunCli({"extract", archive, Path("out"), "FAR.TXT"}).status, 0);
    EXPECT_EQ(ReadWholeFile(dir / "out" / "FAR.TXT"), (Data{0, 0, 0}));
}

TEST_F(Hardening, HugePicturesAndExtractionBombsAreRefusedBeforeAnythingIsWritten) {
    const std::string huge = Path("HUGE.DAT");
    WriteSparse(huge, HugePicture());
    const CliResult bmp = RunCli({"export", huge, Path("out"), "--format", "bmp"}, {60, kAddressSpace});
    EXPECT_EQ(bmp.err, "kelvot-cli: \"HUGE.MIP\" (entry 0) was not exported: its picture is 32767 x 16383 "
                       "pixels (536.8 megapixels), which would take about 1536 MiB to decode; the limit is 256 "
                       "megapixels.\n");
#if !defined(__SANITIZE_ADDRESS__)
    // Raised past what memory allows, the limit lets the system say so in its words.
    EXPECT_EQ(RunCli({"export", huge, Path("out"), "--format", "jpg", "--max-megapixels", "1000"}, {60, kAddressSpace}).err,
              "kelvot-cli: Cannot allocate memory\n");
#endif
    const std::string bomb = Path("BOMB.DAT");
    WriteSparse(bomb, ExtractionBomb());
    const CliResult r = RunCli({"extract", bomb, Path("out2")}, {60, 0, std::size_t{64} << 20});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.starts_with("kelvot-cli: The entries take 140704204029928 bytes, but " + Path("out2") +
                                  " has only "))
        << r.err;
    EXPECT_TRUE(FilesUnder(dir / "out2").empty());
}

// A write past `ulimit -f` fails with its own message; nothing is left behind and the archive stays.
TEST_F(Hardening, AFileSizeLimitEndsTheEditWithAMessage) {
    const Data old = BuildArchive({{"A.TXT", Data(1000, 'a')}});
    const std::string archive = Write("T.DAT", old);
    Write("BIG.TXT", Data(20000, 'b'));
    const CliResult r = RunCli({"add", archive, Path("BIG.TXT")}, {60, 0, 8192});
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.err, "kelvot-cli: Cannot write " + archive + ": File too large\n");
    EXPECT_EQ(ReadWholeFile(archive), old);
    EXPECT_EQ(FilesUnder(dir.path()).size(), 2u);
}

TEST_F(Hardening, CreateAndAddTakeEachFileOnceAndNothingFromOutsideTheFolder) {
    fs::create_directories(dir / "f");
    Write("secret.txt", {'s'});
    Write("f/IN.TXT", {'i'});
    fs::create_symlink(dir / "secret.txt", dir / "f" / "OUT.TXT");
    fs::create_symlink("IN.TXT", dir / "f" / "ALSO.TXT");
    const CliResult r = RunCli({"create", Path("f"), "F.DAT"});
    EXPECT_EQ(r.err, "kelvot-cli: " + Path("f/OUT.TXT") + " is not packed: it is a symbolic link to a file "
                                                          "outside the folder.\n");
    const ArchiveModel made = LoadArchive(dir / "f" / "F.DAT");
    EXPECT_EQ(made.EntryCount, 2); // IN.TXT and ALSO.TXT, holding IN.TXT's byte
    for (std::int32_t i = 0; i < made.EntryCount; ++i)
        EXPECT_EQ(made.EntryBytes(i)[0], 'i');

    const std::string q = Write("q.txt", {'q'});
    EXPECT_EQ(RunCli({"add", Path("f/F.DAT"), q, q, Path("./q.txt")}).status, 0);
    EXPECT_EQ(LoadArchiveListing(dir / "f" / "F.DAT").EntryCount, 3);
}

// Run as root, an edit gives the new archive the old one's owner, group and mode; a hard link keeps the
// old bytes, and the command says so.
TEST_F(Hardening, EditsKeepOwnerAndModeAndTellOfHardLinks) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
    const std::string archive = Write("T.DAT", BuildArchive({{"A.TXT", {1}}}));
    ASSERT_EQ(::chown(archive.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(archive.c_str(), 0640), 0);
    fs::create_hard_link(archive, dir / "LINK.DAT");
    const std::string added = Write("B.TXT", {2});
    const CliResult r = RunCli({"add", archive, added});
    EXPECT_EQ(r.err, "kelvot-cli: " + archive + " had 1 other hard link; it still holds the old contents.\n");
    struct stat st {};
    ASSERT_EQ(::stat(archive.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(LoadArchiveListing(dir / "LINK.DAT").EntryCount, 1);
}
