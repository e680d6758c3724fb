#pragma once

// Runs kelvot-cli in a child process, collecting its output and how it ended; a fixture for its commands.

#include "archive_builder.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using Args = std::vector<std::string>;

// Whether kelvot-cli was built with its mount command.
#ifdef KELVOT_WITH_MOUNT
inline constexpr bool kWithMount = true;
#else
inline constexpr bool kWithMount = false;
#endif

struct CliResult {
    int status = -1; // the exit status; -1 when it did not exit by itself
    int signal = 0;  // the signal that ended it, if one did: SIGALRM when its time was up
    std::string out, err;
};

// Each 0 for no limit: seconds to run, bytes of address space, the largest file it may write (ulimit -f).
struct CliLimits {
    unsigned seconds = 0;
    std::size_t addressSpace = 0, fileSize = 0;
};

// 1 GiB, so an allocation sized by an unchecked number fails loudly; none under the sanitizer, which reserves
// far more than it uses.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr std::size_t kAddressSpace = 0;
#else
inline constexpr std::size_t kAddressSpace = std::size_t{1} << 30;
#endif

// In a child process: becomes kelvot-cli with the arguments.
[[noreturn]] inline void ExecCli(const Args& args) {
    std::vector<char*> argv{const_cast<char*>(KELVOT_CLI)};
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(KELVOT_CLI, argv.data());
    ::_exit(127);
}

// Starts kelvot-cli in a child process, its stdout and stderr going to the files given or to /dev/null.
inline pid_t StartCli(const Args& args, const CliLimits& limits = {}, int out = -1, int err = -1) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(out < 0 ? null : out, 1);
    ::dup2(err < 0 ? null : err, 2);
    for (const auto& [resource, bytes] :
         {std::pair{RLIMIT_AS, limits.addressSpace}, {RLIMIT_FSIZE, limits.fileSize}})
        if (const rlimit limit{bytes, bytes}; bytes > 0) ::setrlimit(resource, &limit);
    ::signal(SIGALRM, SIG_DFL); // the alarm outlives exec: a program that hangs is ended by SIGALRM
    ::alarm(limits.seconds);
    ExecCli(args);
}

inline int WaitFor(pid_t pid) { // the wait status, once the child process has ended
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

inline CliResult RunCli(const Args& args, const CliLimits& limits = {}) {
    // Output goes to files, so a large listing cannot fill a pipe and stall the program.
    std::FILE* files[] = {std::tmpfile(), std::tmpfile()};
    const int status = WaitFor(StartCli(args, limits, ::fileno(files[0]), ::fileno(files[1])));
    const auto take = [](std::FILE* file) {
        std::string text(static_cast<std::size_t>(::lseek(::fileno(file), 0, SEEK_END)), '\0');
        text.resize(static_cast<std::size_t>(::pread(::fileno(file), text.data(), text.size(), 0)));
        std::fclose(file);
        return text;
    };
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, WIFSIGNALED(status) ? WTERMSIG(status) : 0,
            take(files[0]), take(files[1])};
}

// Commands run on files in a temporary folder.
class CliTest : public ::testing::Test {
  protected:
    std::string Path(const std::string& name) const { return (dir / name).string(); }
    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        kelvot::testkit::WriteFile(dir / name, bytes);
        return Path(name);
    }
    // Runs the command and checks its exit status and stderr, except CLI11's usage text for status 2.
    CliResult Check(const Args& args, int status, const std::string& err = "", CliLimits limits = {60}) {
        const CliResult r = RunCli(args, limits);
        EXPECT_EQ(r.status, status) << testing::PrintToString(args) << "\n" << r.err;
        EXPECT_EQ(r.err, status == 2 && err.empty() ? r.err : err) << testing::PrintToString(args);
        return r;
    }

    kelvot::testkit::TempFolder dir;
};
