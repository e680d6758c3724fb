// kelvot-cli add, remove and create killed at random moments while they write archives of tens of MiB:
// after every kill the archive must be exactly the old one (or still absent) or exactly the new one. A
// killed process may leave its temporary file; the next edit that gets going removes it before it writes
// its own, so there is never more than one, and only ever one of a killed process.

#include "archive/archive_model.h"
#include "archive/error.h"
#include "archive/file_system.h"
#include "archive/verify.h"
#include "archive_builder.h"
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

using namespace kelvot::testkit;
namespace fs = std::filesystem;

namespace {

pid_t Start(const std::vector<std::string>& args) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        std::vector<char*> argv{const_cast<char*>(KELVOT_CLI)};
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(KELVOT_CLI, argv.data());
        ::_exit(127);
    }
    return pid;
}

// The process ids in the names of the temporary files in the folder.
std::vector<pid_t> TemporaryFileOwners(const fs::path& folder) {
    std::vector<pid_t> owners;
    for (const auto& e : fs::directory_iterator(folder))
        if (const auto name = e.path().filename().string(); name.starts_with(".kelvot-edit-"))
            owners.push_back(std::stoi(name.substr(13)));
    return owners;
}

std::chrono::microseconds TimeOf(const std::vector<std::string>& args) {
    const auto started = std::chrono::steady_clock::now();
    int status = 0;
    ::waitpid(Start(args), &status, 0);
    EXPECT_EQ(status, 0);
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started);
}

// Starts the command and kills it at a random moment within twice the time a whole run takes; false when
// it ended otherwise than by itself or by the kill.
bool KillAtRandom(const std::vector<std::string>& args, std::chrono::microseconds runTime,
                  std::mt19937& random, std::set<pid_t>& killed) {
    const pid_t pid = Start(args);
    std::this_thread::sleep_for(runTime * std::uniform_real_distribution<double>(0.0, 2.0)(random));
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    killed.insert(pid);
    return WIFEXITED(status) ? WEXITSTATUS(status) == 0 : WTERMSIG(status) == SIGKILL;
}

std::optional<std::vector<std::uint8_t>> Contents(const fs::path& path) {
    if (!fs::exists(path)) return std::nullopt;
    return kelvot::ReadWholeFile(path);
}

unsigned Seed() {
    std::random_device device;
    return device();
}

} // namespace

TEST(CrashSafety, KilledEditsLeaveTheOldArchiveOrTheNewOne) {
    TempFolder dir;
    // 32 entries of 1 MiB. Three states, and the edits that lead from one to another:
    //   base --remove E41.MIP--> shorter --add E41.MIP (appended)--> base
    //   base --add a new E20.MIP (rebuilt)--> changed --add the old e20.mip (rebuilt)--> base
    std::vector<TestEntry> entries;
    for (int i = 0; i < 32; ++i)
        entries.push_back({"E" + std::to_string(10 + i) + ".MIP", std::vector<std::uint8_t>(1 << 20, i + 1)});
    auto changedEntries = entries;
    changedEntries[10].data.assign(1 << 20, 0xEE);
    auto shorterEntries = entries;
    shorterEntries.pop_back();
    const std::vector<std::uint8_t> base = BuildArchive(entries), changed = BuildArchive(changedEntries),
                                    shorter = BuildArchive(shorterEntries);
    fs::create_directories(dir / "new");
    WriteFile(dir / "e20.mip", entries[10].data);
    WriteFile(dir / "new" / "E20.mip", changedEntries[10].data);
    WriteFile(dir / "E41.MIP", entries.back().data);
    const std::string archive = (dir / "A.DAT").string();
    WriteFile(archive, base);
    struct Edit {
        const std::vector<std::uint8_t>* from;
        std::vector<std::string> args;
        const std::vector<std::uint8_t>* to;
    };
    const Edit edits[] = {{&base, {"remove", archive, "e41.mip"}, &shorter},
                          {&shorter, {"add", archive, (dir / "E41.MIP").string()}, &base},
                          {&base, {"add", archive, (dir / "new" / "E20.mip").string()}, &changed},
                          {&changed, {"add", archive, (dir / "e20.mip").string()}, &base}};

    const unsigned seed = Seed();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const auto editTime = TimeOf(edits[0].args);
    ASSERT_EQ(kelvot::ReadWholeFile(archive), shorter);

    std::size_t current = 1; // the edit to try next
    std::set<pid_t> killed;
    int killedBefore = 0, killedAfter = 0;
    for (int round = 0; round < 24; ++round) {
        const Edit& edit = edits[current];
        SCOPED_TRACE("round " + std::to_string(round) + ": " + edit.args[0] + " " + edit.args[2]);
        ASSERT_TRUE(KillAtRandom(edit.args, editTime, random, killed));

        const auto now = kelvot::ReadWholeFile(archive);
        if (now == *edit.to) {
            ++killedAfter;
            // From base, remove and the rebuilding add take turns.
            current = edit.to == &base ? (current == 1 ? 2 : 0) : current + 1;
        } else {
            ASSERT_TRUE(now == *edit.from) << "the archive is neither the old one nor the new one";
            ++killedBefore;
        }
        const auto owners = TemporaryFileOwners(dir.path());
        ASSERT_LE(owners.size(), 1u);
        for (const pid_t owner : owners)
            EXPECT_TRUE(killed.contains(owner)) << owner;
    }
    std::cout << "killed " << killedBefore << " times before the new archive was in place, " << killedAfter
              << " times after\n";

    // An edit that runs to its end removes what a killed one left.
    TimeOf(edits[current].args);
    EXPECT_TRUE(TemporaryFileOwners(dir.path()).empty());
}

namespace {

// Whether the bytes are a whole archive of exactly the files of the folder (but the archive itself).
bool IsArchiveOf(const std::vector<std::uint8_t>& bytes,
                 const std::map<std::string, std::vector<std::uint8_t>>& files) {
    try {
        if (!kelvot::VerifyArchive(bytes).empty()) return false;
        const kelvot::ArchiveModel model = kelvot::LoadArchive(bytes);
        if (model.EntryCount != static_cast<std::int32_t>(files.size())) return false;
        for (std::int32_t i = 0; i < model.EntryCount; ++i) {
            const auto file = files.find(model.Directory.EntryNames[i]);
            const auto entry = model.EntryBytes(i);
            if (file == files.end() ||
                !std::equal(entry.begin(), entry.end(), file->second.begin(), file->second.end()))
                return false;
        }
        return true;
    } catch (const kelvot::KelvotError&) {
        return false;
    }
}

} // namespace

TEST(CrashSafety, KilledCreateLeavesNoArchiveTheOldOneOrTheNewOne) {
    TempFolder dir;
    // 24 files of 1 MiB packed into NEW.DAT beside them. Before each run one file changes, so the archive
    // it writes differs from the one there; every fourth run starts without an archive.
    const fs::path target = dir / "NEW.DAT";
    std::map<std::string, std::vector<std::uint8_t>> files;
    for (int i = 0; i < 24; ++i)
        files["F" + std::to_string(10 + i) + ".BIN"] =
            std::vector<std::uint8_t>(1 << 20, static_cast<std::uint8_t>(i));
    for (const auto& [name, bytes] : files)
        WriteFile(dir / name, bytes);
    const std::vector<std::string> args{"create", dir.path().string(), "NEW.DAT"};

    const unsigned seed = Seed();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const auto createTime = TimeOf(args);
    ASSERT_TRUE(IsArchiveOf(kelvot::ReadWholeFile(target), files));

    std::set<pid_t> killed;
    int old = 0, complete = 0;
    for (int round = 0; round < 16; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        if (round % 4 == 0) fs::remove(target);
        auto& changed = files["F" + std::to_string(10 + round % 24) + ".BIN"];
        changed.assign(changed.size(), static_cast<std::uint8_t>(100 + round));
        WriteFile(dir / ("F" + std::to_string(10 + round % 24) + ".BIN"), changed);
        const auto before = Contents(target);

        ASSERT_TRUE(KillAtRandom(args, createTime, random, killed));
        const auto now = Contents(target);
        if (now == before) {
            ++old;
        } else {
            ASSERT_TRUE(now && IsArchiveOf(*now, files))
                << "the archive is neither the old one nor the new one";
            ++complete;
        }
        const auto owners = TemporaryFileOwners(dir.path());
        ASSERT_LE(owners.size(), 1u);
        for (const pid_t owner : owners)
            EXPECT_TRUE(killed.contains(owner)) << owner;
    }
    std::cout << "killed " << old << " times before the new archive was in place, " << complete
              << " times after\n";
    TimeOf(args);
    EXPECT_TRUE(TemporaryFileOwners(dir.path()).empty());
    EXPECT_TRUE(IsArchiveOf(kelvot::ReadWholeFile(target), files));
}
