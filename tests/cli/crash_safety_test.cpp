// kelvot-cli add (appending and rebuilding), remove and create (over an archive and where there is none)
// killed at random moments while they write an archive of 32 MiB: after every kill the archive is exactly
// the old one (or still absent) or exactly the new one, and both happen. A killed process may leave its
// temporary file; the next command that gets going removes it before it writes its own, so there is never
// more than one, and only ever a killed process's. Extract, killed so, leaves whole files only.

#include "archive/archive_model.h"
#include "archive/file_system.h"
#include "run_cli.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <optional>
#include <random>
#include <set>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace kelvot;
using namespace kelvot::testkit;
namespace fs = std::filesystem;
using Data = std::vector<std::uint8_t>;
using State = std::optional<Data>; // an archive's bytes, or no archive

namespace {

bool Temporary(const fs::path& file) {
    return file.filename().string().starts_with(".kelvot-");
}

// Runs commands that write in one folder, killing them at moments drawn from one seed.
class Killer {
  public:
    explicit Killer(fs::path folder) : folder_(std::move(folder)) {}

    // Runs the command to its end, which leaves no temporary file, and keeps how long that took.
    void RunToEnd(const Args& args) {
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(Wait(Start(args)), 0);
        runTime_ = std::chrono::steady_clock::now() - started;
        EXPECT_TRUE(TemporaryFileOwners().empty());
    }

    // Starts the command and kills it at a moment within twice the time a whole run took.
    void KillAtRandom(const Args& args) {
        const pid_t pid = Start(args);
        std::this_thread::sleep_for(runTime_ * std::uniform_real_distribution<double>(0.0, 2.0)(random_));
        ::kill(pid, SIGKILL);
        const int status = Wait(pid);
        killed_.insert(pid);
        ASSERT_TRUE(WIFEXITED(status) ? WEXITSTATUS(status) == 0 : WTERMSIG(status) == SIGKILL);
        const auto owners = TemporaryFileOwners();
        ASSERT_LE(owners.size(), 1u);
        for (const pid_t owner : owners)
            EXPECT_TRUE(killed_.contains(owner)) << owner;
    }

  private:
    static pid_t Start(const Args& args) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(::open("/dev/null", O_WRONLY), 1);
            ::dup2(1, 2);
            ExecCli(args);
        }
        return pid;
    }
    static int Wait(pid_t pid) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        return status;
    }
    // The process ids in the temporary files' names, ".kelvot-edit-<pid>-<n>.tmp" and
    // ".kelvot-<pid>-<n>.part".
    std::vector<pid_t> TemporaryFileOwners() const {
        std::vector<pid_t> owners;
        for (const auto& e : fs::directory_iterator(folder_))
            if (const auto name = e.path().filename().string(); Temporary(name))
                owners.push_back(std::stoi(name.substr(name.starts_with(".kelvot-edit-") ? 13 : 8)));
        return owners;
    }

    fs::path folder_;
    std::mt19937 random_{20261207};
    std::chrono::duration<double> runTime_{};
    std::set<pid_t> killed_;
};

} // namespace

TEST(CrashSafety, KilledEditsLeaveTheOldArchiveOrTheNewOne) {
    TempFolder dir;
    // 32 files of 1 MiB in pack/, which create packs into pack/A.DAT; add brings in files from new/.
    fs::create_directories(dir / "pack");
    fs::create_directories(dir / "new");
    for (int i = 0; i < 32; ++i)
        WriteFile(dir / "pack" / ("E" + std::to_string(10 + i) + ".MIP"), Data(1 << 20, std::uint8_t(i + 1)));
    WriteFile(dir / "new" / "X.MIP", Data(1 << 20, 0xAA));   // appended
    WriteFile(dir / "new" / "e20.mip", Data(1 << 20, 0xEE)); // its name is taken: rebuilt
    const std::string archive = (dir / "pack" / "A.DAT").string();
    const auto contents = [&] { return fs::exists(archive) ? State(ReadWholeFile(archive)) : std::nullopt; };
    const auto put = [&](const State& state) {
        fs::remove(archive);
        if (state) WriteFile(archive, *state);
    };
    const Args create{"create", (dir / "pack").string(), "A.DAT"}, none; // none: create where no archive is
    Killer killer(dir / "pack");
    killer.RunToEnd(create);

    // Each edit in turn on what the one before made: run to its end for the new archive, then killed on the
    // old one six times.
    int through = 0;
    for (const Args& edit : {Args{"remove", archive, "E15.MIP"},
                             {"add", archive, (dir / "new/X.MIP").string()},
                             create,
                             {"add", archive, (dir / "new/e20.mip").string()},
                             create,
                             none}) {
        const Args& args = edit.empty() ? create : edit;
        SCOPED_TRACE(testing::PrintToString(args));
        if (edit.empty()) fs::remove(archive);
        const State old = contents();
        killer.RunToEnd(args);
        const State made = contents();
        for (int kill = 0; kill < 6; ++kill) {
            put(old);
            ASSERT_NO_FATAL_FAILURE(killer.KillAtRandom(args));
            const State now = contents();
            ASSERT_TRUE(now == old || now == made) << "the archive is neither the old one nor the new one";
            through += now == made;
        }
        put(made);
    }
    EXPECT_GT(through, 0) << "no killed run had put the new archive in place";
    EXPECT_LT(through, 36) << "every killed run had put the new archive in place";
    killer.RunToEnd(create); // which removes what the killed runs left
}

TEST(CrashSafety, AKilledExtractLeavesWholeFilesOnly) {
    TempFolder dir;
    std::vector<TestEntry> entries;
    for (int i = 0; i < 4; ++i)
        entries.push_back(
            {"E" + std::to_string(i) + ".BIN", Data(8 << 20, static_cast<std::uint8_t>(i + 1))});
    WriteFile(dir / "X.DAT", BuildArchive(entries));
    fs::create_directory(dir / "out");
    const Args extract{"extract", (dir / "X.DAT").string(), (dir / "out").string()};
    Killer killer(dir / "out");
    killer.RunToEnd(extract);
    int whole = 0, cut = 0;
    for (int round = 0; round < 24; ++round) {
        for (const auto& e : fs::directory_iterator(dir / "out"))
            if (!Temporary(e.path())) fs::remove(e.path());
        ASSERT_NO_FATAL_FAILURE(killer.KillAtRandom(extract));
        std::size_t written = 0;
        for (const auto& [path, bytes] : FilesUnder(dir / "out"))
            if (!Temporary(path)) {
                EXPECT_EQ(bytes, entries.at(path.string()[1] - '0').data) << path << " is not whole";
                ++written;
            }
        ++(written == entries.size() ? whole : cut);
    }
    EXPECT_GT(whole, 0);
    EXPECT_GT(cut, 0);
}
