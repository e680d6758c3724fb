// kelvot-cli attacked, or used carelessly: edits at the same time, hostile names, sparse archives that claim
// far more than they hold, links, owners and file size limits. Each case once lost data, hung, ran out of
// memory or said something unhelpful. (Special files and a dangling link as the folder: commands_test.)

#include "archive/archive_model.h"
#include "archive/dat_format.h"
#include "archive/file_system.h"
#include "hostile_archives.h"
#include "run_cli.h"

#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace kelvot;
using namespace kelvot::testkit;
namespace fs = std::filesystem;
using Data = std::vector<std::uint8_t>;

namespace {

class Hardening : public CliTest {};

#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t kAddressSpace = 0; // the sanitizer reserves far more address space than it uses
#else
constexpr std::size_t kAddressSpace = std::size_t{1} << 30;
#endif

} // namespace

// Two edits of one archive at once: the second waits for the first and builds on its result.
TEST_F(Hardening, EditsAtTheSameTimeAreNeverLost) {
    for (int round = 0; round < 20; ++round) {
        const std::string p = "P" + std::to_string(round) + ".TXT", q = "Q" + std::to_string(round) + ".TXT";
        const std::string archive = Write("T.DAT", BuildArchive({{"BASE.TXT", Data(200000, 'b')}}));
        const Args first{"add", archive, Write(p, {'p'})};
        const Args second =
            round % 2 ? Args{"rename", archive, "BASE.TXT", "R.TXT"} : Args{"add", archive, Write(q, {'q'})};
        std::thread other([&] { EXPECT_EQ(RunCli(first).status, 0); });
        EXPECT_EQ(RunCli(second).status, 0);
        other.join();
        auto names = LoadArchiveListing(archive).Directory.EntryNames;
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (round % 2 ? Args{p, "R.TXT"} : Args{"BASE.TXT", p, q})) << "round " << round;
    }
}

// An entry of the archive's own name, extracted beside it, leaves the archive as it is; names with control
// bytes reach the terminal escaped, one line each, and are never written.
TEST_F(Hardening, HostileNamesNeitherDriveTheTerminalNorReplaceTheArchive) {
    std::map<std::string, Data> set;
    for (auto& hostile : HostileArchives())
        set[hostile.name] = hostile.bytes;
    const std::string self = Write("ARCH.DAT", set["self-named.dat"]);
    Check({"extract", self, dir.path().string()}, 1,
          "kelvot-cli: \"ARCH.DAT\" (entry 0) was not extracted: its file would replace the archive being "
          "read.\n");
    EXPECT_EQ(ReadWholeFile(self), set["self-named.dat"]);
    EXPECT_TRUE(fs::exists(dir / "OTHER.TXT"));

    const std::string archive = Write("C.DAT", set["control-names.dat"]);
    EXPECT_EQ(Check({"list", archive}, 0).out,
              "\\x1b]0;T\\x07.TXT\nA\\x0aB.TXT\nPLAIN.TXT\nX\\x0dY.TXT\n\\x9d\\x90.TXT\n");
    EXPECT_NE(
        Check({"verify", archive}, 1).out.find("entry 2 (\"\\x1b]0;T\\x07.TXT\"): the name holds control"),
        std::string::npos);
    const CliResult extract = RunCli({"extract", archive, Path("out")});
    EXPECT_EQ(extract.status, 1);
    EXPECT_EQ(std::count(extract.err.begin(), extract.err.end(), '\n'), 4);
    EXPECT_EQ(FilesUnder(dir / "out"), (FileTree{{"PLAIN.TXT", {'p', 'l', 'a', 'i', 'n'}}}));
}

// verify and info read the directory and a header, never a whole file or entry: a 3 GiB archive and a
// 1.5 GiB entry, with 1 GiB of address space. An offset past 2 GiB is inside the file for verify and extract.
TEST_F(Hardening, LargeSparseArchivesAreReadOnlyWhereNeeded) {
    Data bytes = BuildArchive({{"FAR.TXT", {}}, {"BIG.MIP", {}}});
    PutU32(bytes, RecordStart(0) + kOffsetField, 0x80000010u);
    PutU32(bytes, RecordStart(0) + kSizeField, 3);
    PutU32(bytes, RecordStart(1) + kSizeField, 0x60000000u);
    const std::string archive = Path("SPARSE.DAT");
    WriteSparse(archive, {bytes, std::uint64_t{3} << 30});
    EXPECT_EQ(RunCli({"verify", archive}, {60, kAddressSpace}).out, "OK\n");
    EXPECT_EQ(RunCli({"info", archive, "BIG.MIP"}, {60, kAddressSpace}).status, 0);
    Check({"extract", archive, Path("out"), "FAR.TXT"}, 0);
    EXPECT_EQ(ReadWholeFile(dir / "out" / "FAR.TXT"), (Data{0, 0, 0}));
}

TEST_F(Hardening, HugePicturesAndExtractionBombsAreRefusedBeforeAnythingIsWritten) {
    const std::string huge = Path("HUGE.DAT"), bomb = Path("BOMB.DAT");
    WriteSparse(huge, HugePicture());
    EXPECT_EQ(
        RunCli({"export", huge, Path("out"), "--format", "bmp"}, {60, kAddressSpace}).err,
        "kelvot-cli: \"HUGE.MIP\" (entry 0) was not exported: its picture is 32767 x 16383 pixels (536.8 "
        "megapixels), which would take about 1536 MiB to decode; the limit is 256 megapixels.\n");
#if !defined(__SANITIZE_ADDRESS__)
    // Raised past what memory allows, the limit lets the system say so in its words.
    EXPECT_EQ(RunCli({"export", huge, Path("out"), "--format", "jpg", "--max-megapixels", "1000"},
                     {60, kAddressSpace})
                  .err,
              "kelvot-cli: Cannot allocate memory\n");
#endif
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
    const CliResult r = RunCli({"add", archive, Write("BIG.TXT", Data(20000, 'b'))}, {60, 0, 8192});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "kelvot-cli: Cannot write " + archive + ": File too large\n");
    EXPECT_EQ(ReadWholeFile(archive), old);
    EXPECT_EQ(FilesUnder(dir.path()).size(), 2u);
}

TEST_F(Hardening, CreateAndAddTakeEachFileOnceAndNothingFromOutsideTheFolder) {
    Write("secret.txt", {'s'});
    fs::create_directory(dir / "f");
    Write("f/IN.TXT", {'i'});
    fs::create_symlink(dir / "secret.txt", dir / "f" / "OUT.TXT");
    fs::create_symlink("IN.TXT", dir / "f" / "ALSO.TXT");
    Check({"create", Path("f"), "F.DAT"}, 0,
          "kelvot-cli: " + Path("f/OUT.TXT") +
              " is not packed: it is a symbolic link to a file outside the folder.\n");
    const ArchiveModel made = LoadArchive(dir / "f" / "F.DAT");
    EXPECT_EQ(made.EntryCount, 2); // IN.TXT and ALSO.TXT, holding IN.TXT's byte
    for (std::int32_t i = 0; i < made.EntryCount; ++i)
        EXPECT_EQ(made.EntryBytes(i)[0], 'i');
    const std::string q = Write("q.txt", {'q'});
    Check({"add", Path("f/F.DAT"), q, q, Path("./q.txt")}, 0);
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
    Check({"add", archive, Write("B.TXT", {2})}, 0,
          "kelvot-cli: " + archive + " had 1 other hard link; it still holds the old contents.\n");
    struct stat st {};
    ASSERT_EQ(::stat(archive.c_str(), &st), 0);
    EXPECT_EQ(std::tuple(st.st_uid, st.st_gid, st.st_mode & 07777), std::tuple(65534u, 65534u, 0640u));
    EXPECT_EQ(LoadArchiveListing(dir / "LINK.DAT").EntryCount, 1);
}
