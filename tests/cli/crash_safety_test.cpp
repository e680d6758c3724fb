// kelvot-cli add (appending and rebuilding), remove and create (over an archive and where there is none)
// killed at random moments while they write an archive of 32 MiB: after every kill the archive must be
// exactly the old one (or still absent) or exactly the new one, and both must happen. A killed process may
// leave its temporary file; the next command that gets going removes it before it writes its own, so there
// is never more than one, and only ever one of a killed process. Extract, killed so, leaves whole files
// only under the entries' names.

#include "archive/archive_model.h"
#include "archive/error.h"
#include "archive/file_system.h"
#include "archive_builder.h"
#include "run_cli.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <map>
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

namespace {

bool Temporary(const fs::path& file) {
    return file.filename().string().starts_with(".kelvot-");
}

// The process ids in the names of the temporary files in the folder (".kelvot-edit-<pid>-<n>.tmp" and
// ".kelvot-<pid>-<n>.part").
std::vector<pid_t> TemporaryFileOwners(const fs::path& folder) {
    std::vector<pid_t> owners;
    for (const auto& e : fs::directory_iterator(folder))
        if (const auto name = e.path().filename().string(); Temporary(name))
            owners.push_back(std::stoi(name.substr(name.starts_with(".kelvot-edit-") ? 13 : 8)));
    return owners;
}

// Runs commands that write in one folder, killing them at random moments drawn from one seed.
class Killer {
  public:
    explicit Killer(fs::path folder) : folder_(std::move(folder)), random_(20261207) {}

    // Runs the command to its end, which leaves no temporary file, and returns how long that took.
    std::chrono::microseconds RunToEnd(const std::vector<std::string>& args) {
        const auto started = std::chrono::steady_clock::now();
        int status = 0;
        ::waitpid(Start(args), &status, 0);
        EXPECT_EQ(status, 0);
        EXPECT_TRUE(TemporaryFileOwners(folder_).empty());
        return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                     started);
    }

    // Starts the command and kills it at a random moment within twice the time a whole run takes.
    void KillAtRandom(const std::vector<std::string>& args, std::chrono::microseconds runTime) {
        const pid_t pid = Start(args);
        std::this_thread::sleep_for(runTime * std::uniform_real_distribution<double>(0.0, 2.0)(random_));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        killed_.insert(pid);
        ASSERT_TRUE(WIFEXITED(status) ? WEXITSTATUS(status) == 0 : WTERMSIG(status) == SIGKILL);
        const auto owners = TemporaryFileOwners(folder_);
        ASSERT_LE(owners.size(), 1u);
        for (const pid_t owner : owners)
            EXPECT_TRUE(killed_.contains(owner)) << owner;
    }

  private:
    static pid_t Start(const std::vector<std::string>& args) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::dup2(null, 2);
            ExecCli(args);
        }
        return pid;
    }

    fs::path folder_;
    std::mt19937 random_;
    std::set<pid_t> killed_;
};

std::optional<Data> Contents(const fs::path& path) {
    if (!fs::exists(path)) return std::nullopt;
    return ReadWholeFile(path);
}

} // namespace

TEST(CrashSafety, KilledEditsLeaveTheOldArchiveOrTheNewOne) {
    TempFolder dir;
    // 32 files of 1 MiB in pack/, which create packs into pack/A.DAT; the files that add brings in lie
    // outside it.
    fs::create_directories(dir / "pack");
    fs::create_directories(dir / "new");
    std::map<std::string, Data> files;
    for (int i = 0; i < 32; ++i) {
        const std::string name = "E" + std::to_string(10 + i) + ".MIP";
        files[name] = Data(1 << 20, static_cast<std::uint8_t>(i + 1));
        WriteFile(dir / "pack" / name, files[name]);
    }
    WriteFile(dir / "new" / "e20.mip", Data(1 << 20, 0xEE));
    WriteFile(dir / "new" / "X.MIP", Data(1 << 20, 0xAA));
    const std::string archive = (dir / "pack" / "A.DAT").string();
    const std::vector<std::string> create{"create", (dir / "pack").string(), "A.DAT"};

    Killer killer(dir / "pack");
    const auto runTime = killer.RunToEnd(create);
    // The states, and the edits that lead from one to another in turn:
    //   created --remove--> shorter --add X.MIP (appended)--> appended --create--> created
    //   created --add e20.mip (rebuilt)--> changed --create--> created; none --create--> created
    // The created archive holds the files in the order the folder lists them.
    std::vector<TestEntry> entries;
    for (const std::string& name : LoadArchive(archive).Directory.EntryNames)
        entries.push_back({name, files.at(name)});
    ASSERT_EQ(entries.size(), files.size());
    const std::optional<Data> created = BuildArchive(entries), absent;
    ASSERT_EQ(Contents(archive), created);
    auto changedEntries = entries;
    for (TestEntry& e : changedEntries)
        if (e.name == "E20.MIP") e.data.assign(1 << 20, 0xEE);
    const std::optional<Data> changed = BuildArchive(changedEntries);
    auto without = entries;
    without.erase(without.begin() + 5);
    const std::optional<Data> shorter = BuildArchive(without);
    without.push_back({"X.MIP", Data(1 << 20, 0xAA)});
    const std::optional<Data> appended = BuildArchive(without);
    struct Edit {
        const std::optional<Data>* from;
        std::vector<std::string> args;
        const std::optional<Data>* to;
    };
    const Edit edits[] = {{&created, {"remove", archive, entries[5].name}, &shorter},
                          {&shorter, {"add", archive, (dir / "new" / "X.MIP").string()}, &appended},
                          {&appended, create, &created},
                          {&created, {"add", archive, (dir / "new" / "e20.mip").string()}, &changed},
                          {&changed, create, &created},
                          {&absent, create, &created}};

    std::size_t current = 0; // the edit to try next; each is tried until a run gets through
    int through = 0;
    for (int round = 0; round < 36; ++round) {
        const Edit& edit = edits[current];
        SCOPED_TRACE("round " + std::to_string(round) + ": edit " + std::to_string(current));
        if (edit.from == &absent) fs::remove(archive);
        ASSERT_NO_FATAL_FAILURE(killer.KillAtRandom(edit.args, runTime));
        const auto now = Contents(archive);
        if (now == *edit.to)
            current = (current + 1) % std::size(edits), ++through;
        else
            ASSERT_TRUE(now == *edit.from) << "the archive is neither the old one nor the new one";
    }
    EXPECT_GT(through, 0) << "no killed run had put the new archive in place";
    EXPECT_LT(through, 36) << "every killed run had put the new archive in place";
    killer.RunToEnd(create); // which removes what the killed runs left
    EXPECT_EQ(Contents(archive), created);
}

TEST(CrashSafety, AKilledExtractLeavesWholeFilesOnly) {
    TempFolder dir;
    std::vector<TestEntry> entries;
    for (int i = 0; i < 4; ++i)
        entries.push_back({"E" + std::to_string(i) + ".BIN", Data(8 << 20, static_cast<std::uint8_t>(i + 1))});
    WriteFile(dir / "X.DAT", BuildArchive(entries));
    fs::create_directory(dir / "out");
    const std::vector<std::string> extract{"extract", (dir / "X.DAT").string(), (dir / "out").string()};
    Killer killer(dir / "out");
    const auto runTime = killer.RunToEnd(extract);
    int whole = 0, cut = 0;
    for (int round = 0; round < 24; ++round) {
        for (const auto& e : fs::directory_iterator(dir / "out"))
            if (!Temporary(e.path())) fs::remove(e.path());
        ASSERT_NO_FATAL_FAILURE(killer.KillAtRandom(extract, runTime));
        std::size_t written = 0;
        for (const auto& e : fs::directory_iterator(dir / "out")) {
            if (Temporary(e.path())) continue;
            const Data bytes = ReadWholeFile(e.path());
            const char index = e.path().filename().string()[1];
            EXPECT_EQ(bytes, entries.at(index - '0').data) << e.path() << " is not whole";
            ++written;
        }
        ++(written == entries.size() ? whole : cut);
    }
    EXPECT_GT(whole, 0);
    EXPECT_GT(cut, 0);
}
