// kelvot-cli add and remove killed at random moments on a 64 MiB archive: after every kill the archive
// must be exactly the old one or exactly the new one. A killed process may leave its temporary file; the
// next edit that gets going removes it before it writes its own, so there is never more than one, and
// only ever one of a killed process.

#include "archive/file_system.h"
#include "archive_builder.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
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

} // namespace

TEST(CrashSafety, KilledEditsLeaveTheOldArchiveOrTheNewOne) {
    TempFolder dir;
    // 64 entries of 1 MiB. Three states, and the edits that lead from one to another:
    //   base --remove E73.MIP--> shorter --add E73.MIP (appended)--> base
    //   base --add a new E20.MIP (rebuilt)--> changed --add the old e20.mip (rebuilt)--> base
    std::vector<TestEntry> entries;
    for (int i = 0; i < 64; ++i)
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
    WriteFile(dir / "E73.MIP", entries.back().data);
    const std::string archive = (dir / "A.DAT").string();
    WriteFile(archive, base);
    struct Edit {
        const std::vector<std::uint8_t>* from;
        std::vector<std::string> args;
        const std::vector<std::uint8_t>* to;
    };
    const Edit edits[] = {{&base, {"remove", archive, "e73.mip"}, &shorter},
                          {&shorter, {"add", archive, (dir / "E73.MIP").string()}, &base},
                          {&base, {"add", archive, (dir / "new" / "E20.mip").string()}, &changed},
                          {&changed, {"add", archive, (dir / "e20.mip").string()}, &base}};

    std::random_device device;
    const unsigned seed = device();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    // The kills are spread over twice the time a whole edit takes.
    const auto started = std::chrono::steady_clock::now();
    int status = 0;
    ::waitpid(Start(edits[0].args), &status, 0);
    const auto editTime =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(kelvot::ReadWholeFile(archive), shorter);

    std::size_t current = 1; // the edit to try next
    std::set<pid_t> killed;
    int killedBefore = 0, killedAfter = 0;
    for (int round = 0; round < 40; ++round) {
        const Edit& edit = edits[current];
        SCOPED_TRACE("round " + std::to_string(round) + ": " + edit.args[0] + " " + edit.args[2]);
        const pid_t pid = Start(edit.args);
        std::this_thread::sleep_for(editTime * std::uniform_real_distribution<double>(0.0, 2.0)(random));
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) ? WEXITSTATUS(status) == 0 : WTERMSIG(status) == SIGKILL);
        killed.insert(pid);

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
    ::waitpid(Start(edits[current].args), &status, 0);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(TemporaryFileOwners(dir.path()).empty());
}
