// kelvot-cli's edits killed at random moments while they write an archive of 32 MiB: the archive is exactly
// the old one (or still absent) or the new one, and both happen. A killed run may leave its temporary file,
// which the next run removes: never more than one. A killed extract leaves whole files only.

#include "archive/file_system.h"
#include "export/png_export.h"
#include "picture_builder.h"
#include "run_cli.h"

#include <chrono>
#include <csignal>
#include <optional>
#include <random>
#include <thread>

using namespace kelvot;
using namespace kelvot::testkit;
namespace fs = std::filesystem;
using Data = std::vector<std::uint8_t>;

namespace {

// Runs commands that write in one folder, to their end or killed at moments drawn from one seed.
struct Killer {
    static bool Temporary(const fs::path& file) { return file.filename().string().starts_with(".kelvot-"); }

    // Runs the command to its end, which leaves no temporary file, and keeps how long that took.
    void RunToEnd(const Args& args) {
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(WaitFor(StartCli(args)), 0);
        runTime = std::chrono::steady_clock::now() - started;
        EXPECT_EQ(TemporaryFiles(), 0);
    }

    // Starts the command and kills it at a moment within twice the time a whole run took.
    void KillAtRandom(const Args& args) {
        const pid_t pid = StartCli(args);
        std::this_thread::sleep_for(runTime * std::uniform_real_distribution<double>(0.0, 2.0)(random));
        ::kill(pid, SIGKILL);
        const int status = WaitFor(pid);
        ASSERT_TRUE(WIFEXITED(status) ? WEXITSTATUS(status) == 0 : WTERMSIG(status) == SIGKILL);
        ASSERT_LE(TemporaryFiles(), 1);
    }

    std::ptrdiff_t TemporaryFiles() const {
        return std::count_if(fs::directory_iterator(folder), {}, [](auto& e) { return Temporary(e.path()); });
    }

    fs::path folder;
    std::mt19937 random{20261207};
    std::chrono::duration<double> runTime{};
};

} // namespace

TEST(CrashSafety, KilledEditsLeaveTheOldArchiveOrTheNewOne) {
    TempFolder dir;
    // 31 files of 1 MiB and a picture of that size in pack/, which create packs into pack/A.DAT; add and
    // import bring in files from outside: X.MIP is appended, e20.mip (a name taken) rebuilds.
    fs::create_directories(dir / "pack");
    for (int i = 0; i < 31; ++i)
        WriteFile(dir / "pack" / ("E" + std::to_string(10 + i) + ".MIP"), Data(1 << 20, std::uint8_t(i + 1)));
    WriteFile(dir / "pack/P.MIP", EncodePicture(RandomPicture(PictureKind::Mip, 3, 1024, 512, 1)));
    const Data other = EncodePicture(RandomPicture(PictureKind::Mip, 3, 1024, 512, 2));
    const std::string a = (dir / "pack/A.DAT").string(), x = (dir / "X.MIP").string(),
                      e20 = (dir / "e20.mip").string(), png = (dir / "P.png").string();
    WriteFile(x, Data(1 << 20, 0xAA));
    WriteFile(e20, Data(1 << 20, 0xEE));
    WriteFile(png, EncodePng(PictureKind::Mip, other, *DecodePicture(PictureKind::Mip, other)));
    const auto contents = [&] { return fs::exists(a) ? std::optional(ReadFile(a)) : std::nullopt; };
    const Args create{"create", (dir / "pack").string(), "A.DAT"};
    Killer killer{dir / "pack"};

    // Each edit in turn on what the one before made, the first where there is no archive: run to its end for
    // the new archive, then killed six times on the old one.
    int through = 0;
    for (const Args& args : {create,
                             {"remove", a, "E15.MIP"},
                             {"add", a, x},
                             {"add", a, e20},
                             {"import", a, "P.MIP", png},
                             {"replace", a, "E11.MIP", x},
                             create}) {
        SCOPED_TRACE(testing::PrintToString(args));
        const auto old = contents();
        killer.RunToEnd(args);
        const auto made = contents();
        for (int kill = 0; kill < 6; ++kill) {
            fs::remove(a);
            if (old) WriteFile(a, *old);
            ASSERT_NO_FATAL_FAILURE(killer.KillAtRandom(args));
            const auto now = contents();
            ASSERT_TRUE(now == old || now == made) << "the archive is neither the old one nor the new one";
            through += now == made;
        }
        WriteFile(a, made.value());
    }
    EXPECT_GT(through, 0) << "no killed run had put the new archive in place";
    EXPECT_LT(through, 42) << "every killed run had put the new archive in place";
    killer.RunToEnd(create); // which removes what the killed runs left
}

TEST(CrashSafety, AKilledExtractLeavesWholeFilesOnly) {
    TempFolder dir;
    std::vector<TestEntry> entries;
    for (int i = 0; i < 4; ++i)
        entries.push_back({"E" + std::to_string(i) + ".BIN", Data(8 << 20, std::uint8_t(i + 1))});
    WriteFile(dir / "X.DAT", BuildArchive(entries));
    const Args extract{"extract", (dir / "X.DAT").string(), (dir / "out").string()};
    Killer killer{dir / "out"};
    killer.RunToEnd(extract);
    int whole = 0, cut = 0;
    for (int round = 0; round < 24; ++round) {
        for (const auto& e : fs::directory_iterator(dir / "out"))
            if (!Killer::Temporary(e.path())) fs::remove(e.path());
        ASSERT_NO_FATAL_FAILURE(killer.KillAtRandom(extract));
        FileTree files = FilesUnder(dir / "out");
        std::erase_if(files, [](const auto& file) { return Killer::Temporary(file.first); });
        for (const auto& [path, bytes] : files)
            EXPECT_EQ(bytes, entries.at(path.string()[1] - '0').data) << path << " is not whole";
        ++(files.size() == entries.size() ? whole : cut);
    }
    EXPECT_TRUE(whole > 0 && cut > 0) << whole << " whole, " << cut << " cut short";
}
