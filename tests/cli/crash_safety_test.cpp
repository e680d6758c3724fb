// kelvot-cli add (appending and rebuilding), remove, import, replace and create (over an archive and where
// there is none)
// killed at random moments while they write an archive of 32 MiB: after every kill the archive is exactly
// the old one (or still absent) or exactly the new one, and both happen. A killed process may leave its
// temporary file; the next command that gets going removes it before it writes its own, so there is never
// more than one. Extract, killed so, leaves whole files only.

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

bool Temporary(const fs::path& file) {
    return file.filename().string().starts_with(".kelvot-");
}

// Runs commands that write in one folder, to their end or killed at moments drawn from one seed.
struct Killer {
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
    // 32 files of 1 MiB in pack/, which create packs into pack/A.DAT; add brings in files from new/.
    fs::create_directories(dir / "pack");
    fs::create_directories(dir / "new");
    for (int i = 0; i < 32; ++i)
        WriteFile(dir / "pack" / ("E" + std::to_string(10 + i) + ".MIP"), Data(1 << 20, std::uint8_t(i + 1)));
    const std::string a = (dir / "pack/A.DAT").string(), x = (dir / "new/X.MIP").string(),
                      e20 = (dir / "new/e20.mip").string();
    WriteFile(x, Data(1 << 20, 0xAA));   // appended
    WriteFile(e20, Data(1 << 20, 0xEE)); // its name is taken: rebuilt
    // A picture of 1 MiB in the archive, and another of its size to import into it.
    WriteFile(dir / "pack/P.MIP", EncodePicture(RandomPicture(PictureKind::Mip, 3, 1024, 512, 1)));
    const Data other = EncodePicture(RandomPicture(PictureKind::Mip, 3, 1024, 512, 2));
    const std::string png = (dir / "new/P.png").string();
    WriteFile(png, EncodePng(PictureKind::Mip, other, *DecodePicture(PictureKind::Mip, other)));
    const auto contents = [&] { return fs::exists(a) ? std::optional(ReadWholeFile(a)) : std::nullopt; };
    const auto put = [&](const std::optional<Data>& archive) {
        fs::remove(a);
        if (archive) WriteFile(a, *archive);
    };
    const Args create{"create", (dir / "pack").string(), "A.DAT"};
    Killer killer{dir / "pack"};
    killer.RunToEnd(create);

    // Each edit in turn on what the one before made: run to its end for the new archive, then killed six
    // times on the old one. The last, {}, creates the archive where there is none.
    int through = 0;
    for (const Args& edit :
         {Args{"remove", a, "E15.MIP"}, {"add", a, x}, create, {"add", a, e20}, {"import", a, "P.MIP", png},
          {"replace", a, "E11.MIP", x}, create, {}}) {
        const Args& args = edit.empty() ? create : edit;
        SCOPED_TRACE(testing::PrintToString(args));
        if (edit.empty()) fs::remove(a);
        const auto old = contents();
        killer.RunToEnd(args);
        const auto made = contents();
        for (int kill = 0; kill < 6; ++kill) {
            put(old);
            ASSERT_NO_FATAL_FAILURE(killer.KillAtRandom(args));
            const auto now = contents();
            ASSERT_TRUE(now == old || now == made) << "the archive is neither the old one nor the new one";
            through += now == made;
        }
        put(made);
    }
    EXPECT_GT(through, 0) << "no killed run had put the new archive in place";
    EXPECT_LT(through, 48) << "every killed run had put the new archive in place";
    killer.RunToEnd(create); // which removes what the killed runs left
}

TEST(CrashSafety, AKilledExtractLeavesWholeFilesOnly) {
    TempFolder dir;
    std::vector<TestEntry> entries;
    for (int i = 0; i < 4; ++i)
        entries.push_back({"E" + std::to_string(i) + ".BIN", Data(8 << 20, std::uint8_t(i + 1))});
    WriteFile(dir / "X.DAT", BuildArchive(entries));
    fs::create_directory(dir / "out");
    const Args extract{"extract", (dir / "X.DAT").string(), (dir / "out").string()};
    Killer killer{dir / "out"};
    killer.RunToEnd(extract);
    int whole = 0, cut = 0;
    for (int round = 0; round < 24; ++round) {
        for (const auto& e : fs::directory_iterator(dir / "out"))
            if (!Temporary(e.path())) fs::remove(e.path());
        ASSERT_NO_FATAL_FAILURE(killer.KillAtRandom(extract));
        FileTree files = FilesUnder(dir / "out");
        std::erase_if(files, [](const auto& file) { return Temporary(file.first); });
        for (const auto& [path, bytes] : files)
            EXPECT_EQ(bytes, entries.at(path.string()[1] - '0').data) << path << " is not whole";
        ++(files.size() == entries.size() ? whole : cut);
    }
    EXPECT_GT(whole, 0);
    EXPECT_GT(cut, 0);
}
