// kelvot-cli mount end to end: the real program mounts archives in the foreground, and the tests read the
// mounted folder with ordinary file calls, beside what extract and export write.

#include "hostile_archives.h"
#include "picture_builder.h"
#include "run_cli.h"

#include <cstdlib>
#include <functional>
#include <sys/stat.h>

using namespace kelvot;
using namespace kelvot::testkit;
namespace fs = std::filesystem;

namespace {

class MountTest : public CliTest {
  protected:
    void SetUp() override {
        if (::access("/dev/fuse", F_OK) != 0) GTEST_SKIP() << "no /dev/fuse: this system offers no FUSE";
        if (std::system("command -v fusermount3 > /dev/null") != 0)
            GTEST_SKIP() << "fusermount3 is not installed (Debian: fuse3)";
    }
    void TearDown() override {
        if (pid > 0) {
            std::system(("fusermount3 -u -z " + mnt.string() + " 2> /dev/null").c_str());
            ::kill(pid, SIGKILL);
            WaitFor(pid);
        }
    }
    bool Mounted() const {
        struct stat inside {
        }, outside{};
        return ::stat(mnt.c_str(), &inside) == 0 && ::stat(dir.path().c_str(), &outside) == 0 &&
               inside.st_dev != outside.st_dev;
    }
    // Mounts in a child process in the foreground and waits until the folder shows the archive; false,
    // with the exit status in `refused`, when the program ends first.
    bool Mount(const std::string& archive) {
        fs::create_directories(mnt);
        pid = StartCli({"mount", archive, mnt.string(), "--foreground"}, {300});
        for (int status = 0; !Mounted(); ::usleep(10'000)) {
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                refused = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                return false;
            }
        }
        return true;
    }
    // Ends the mount (fusermount3 -u, or Ctrl+C) and gives the exit status of the mount process.
    int Unmount(bool interrupt = false) {
        if (interrupt)
            ::kill(pid, SIGINT);
        else
            EXPECT_EQ(std::system(("fusermount3 -u " + mnt.string()).c_str()), 0);
        const int status = WaitFor(std::exchange(pid, -1));
        EXPECT_FALSE(Mounted());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // Waits until the mounted view has the file, or no longer has it.
    void AwaitFile(const std::string& name, bool present) {
        for (int tries = 0; fs::exists(mnt / name) != present && tries < 3000; ++tries)
            ::usleep(10'000);
        EXPECT_EQ(fs::exists(mnt / name), present) << name;
    }

    fs::path mnt = dir / "m";
    pid_t pid = -1;
    int refused = 0;
};

std::vector<std::uint8_t> Picture(PictureKind kind, std::uint8_t code, std::uint32_t seed) {
    return EncodePicture(RandomPicture(kind, code, 9, 5, seed));
}

TEST_F(MountTest, ShowsWhatExtractAndExportWriteReadOnlyAndFollowsEdits) {
    const std::vector<TestEntry> entries = {
        {"DOOR.OTH", DataOfType("OTH", 100)},        {"P1.MIP", Picture(PictureKind::Mip, 0, 1)},
        {"p1.mip", Picture(PictureKind::Srb, 3, 2)}, {"PIC.PBF", Picture(PictureKind::Pbf, 5, 3)},
        {"BAD.MIP", DataOfType("MIP", 16)},          {"EMPTY.TXT", {}},
    };
    const std::string archive = Write("A.DAT", BuildArchive(entries));
    EXPECT_EQ(RunCli({"extract", archive, Path("x")}).status, 1); // P1.MIP and p1.mip as one file
    EXPECT_EQ(RunCli({"export", archive, Path("p"), "--format", "png"}).status, 1); // BAD.MIP is no picture
    ASSERT_TRUE(Mount(archive));

    FileTree shown = FilesUnder(mnt, mnt / "png");
    FileTree expected;
    for (const auto& e : entries)
        expected[e.name == "p1.mip" ? "p1~2.mip" : e.name] = e.data;
    EXPECT_EQ(shown, expected);
    for (const auto& [name, bytes] : FilesUnder(dir / "x"))
        if (name != "P1.MIP" && name != "p1.mip") {
            EXPECT_EQ(bytes, shown[name]) << name;
        }
    FileTree pngs = FilesUnder(mnt / "png");
    EXPECT_EQ(pngs.size(), 3u);
    EXPECT_FALSE(pngs["p1~2.png"].empty());
    for (const auto& [name, bytes] : FilesUnder(dir / "p"))
        EXPECT_EQ(bytes, pngs[name]) << name;

    struct stat archiveStat {};
    ::stat(archive.c_str(), &archiveStat);
    for (const auto& [name, bytes] : shown) {
        struct stat st {};
        ASSERT_EQ(::stat((mnt / name).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode, S_IFREG | 0444) << name;
        EXPECT_EQ(st.st_size, static_cast<off_t>(bytes.size())) << name;
        EXPECT_EQ(st.st_blocks, static_cast<blkcnt_t>((bytes.size() + 511) / 512)) << name;
        EXPECT_EQ(st.st_uid, ::getuid());
        EXPECT_EQ(st.st_mtim.tv_sec, archiveStat.st_mtim.tv_sec);
    }
    for (const fs::path& folder : {mnt, mnt / "png"}) {
        struct stat st {};
        ::stat(folder.c_str(), &st);
        EXPECT_EQ(st.st_mode, S_IFDIR | 0555);
    }

    const std::string door = (mnt / "DOOR.OTH").string();
    const std::vector<std::pair<const char*, std::function<int()>>> writes = {
        {"create", [&] { return ::open((mnt / "NEW").c_str(), O_CREAT | O_WRONLY, 0644); }},
        {"write", [&] { return ::open(door.c_str(), O_WRONLY); }},
        {"truncate", [&] { return ::truncate(door.c_str(), 0); }},
        {"chmod", [&] { return ::chmod(door.c_str(), 0644); }},
        {"unlink", [&] { return ::unlink(door.c_str()); }},
        {"mkdir", [&] { return ::mkdir((mnt / "D").c_str(), 0755); }},
    };
    for (const auto& [what, write] : writes) {
        EXPECT_EQ(write(), -1) << what;
        EXPECT_EQ(errno, EROFS) << what;
    }

    // An edit renames a new archive over the old one: the view follows.
    Check({"remove", archive, "PIC.PBF"}, 0);
    AwaitFile("PIC.PBF", false);
    AwaitFile("png/PIC.png", false);
    EXPECT_EQ(FilesUnder(mnt / "png").size(), 2u);
    EXPECT_EQ(Unmount(), 0);
}

TEST_F(MountTest, HostileArchivesMountWithinTheirFolderOrAreRefused) {
    bool interrupt = false;
    fs::create_directories(dir / "h" / "a");
    for (const HostileArchive& hostile : HostileArchives()) {
        SCOPED_TRACE(hostile.name);
        const std::string archive = Write("h/a/" + hostile.name, hostile.bytes);
        const FileTree before = FilesUnder(dir.path(), mnt);
        if (!Mount(archive)) {
            EXPECT_EQ(refused, 1); // not an archive, with a message
            continue;
        }
        // Every file read, pictures too: all lie in the folder or in png/.
        for (const auto& [name, bytes] : FilesUnder(mnt))
            EXPECT_TRUE(name.parent_path().empty() || name.parent_path() == "png") << name;
        EXPECT_EQ(Unmount(interrupt = !interrupt), 0);
        EXPECT_EQ(FilesUnder(dir.path(), mnt), before);
        EXPECT_FALSE(fs::exists(kAbsoluteEscape));
    }
}

TEST_F(MountTest, RefusesWithAMessage) {
    const std::string archive = Write("A.DAT", BuildArchive({{"X", {1}}}));
    const std::string notArchive = Write("N.DAT", {1});
    fs::create_directories(dir / "full" / "f");
    const std::vector<std::pair<Args, std::string>> cases = {
        {{notArchive, Path("empty")}, "kelvot-cli: The file is too short to hold an entry count.\n"},
        {{archive, Path("none")},
         "kelvot-cli: Cannot mount on " + Path("none") + ": there is no such folder.\n"},
        {{archive, archive}, "kelvot-cli: Cannot mount on " + archive + ": it is not a folder.\n"},
        {{archive, Path("full")},
         "kelvot-cli: Cannot mount on " + Path("full") + ": the folder is not empty.\n"},
    };
    fs::create_directories(dir / "empty");
    for (const auto& [args, err] : cases)
        Check({"mount", args[0], args[1]}, 1, err);
    const std::string path = std::getenv("PATH");
    ::setenv("PATH", Path("empty").c_str(), 1);
    Check({"mount", archive, Path("empty")}, 1,
          "kelvot-cli: Cannot mount: fusermount3 is not installed (Debian: apt install fuse3).\n");
    ::setenv("PATH", path.c_str(), 1);
}

} // namespace
