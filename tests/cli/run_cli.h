#pragma once

// Runs kelvot-cli as a separate process and collects what it printed and how it ended; a fixture for the
// tests that run it on files in a temporary folder.

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

// 1 GiB, so an allocation sized by a number read from a file without a check fails loudly; no limit under
// the sanitizer, which reserves far more address space than it uses.
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
inline pid_t StartCli(const Args& args, const CliLimits& limits = {}, std::FILE* out = nullptr,
                      std::FILE* err = nullptr) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(out ? ::fileno(out) : null, 1);
    ::dup2(err ? ::fileno(err) : null, 2);
    for (const auto& [resource, bytes] :
         {std::pair{RLIMIT_AS, limits.addressSpace}, {RLIMIT_FSIZE, limits.fileSize}})
        if (const rlimit limit{bytes, bytes}; bytes > 0) ::setrlimit(resource, &limit);
    ::signal(SIGALRM, SIG_DFL); // the alarm outlives exec: a program that hangs is ended by SIGALRM
    ::alarm(limits.seconds);
    ExecCli(args);
}

// The wait status of a child process, once it has ended.
inline int WaitFor(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

inline CliResult RunCli(const Args& args, const CliLimits& limits = {}) {
    // Output goes to files, so a large listing cannot fill a pipe and stall the program.
    std::FILE* files[] = {std::tmpfile(), std::tmpfile()};
    const int status = WaitFor(StartCli(args, limits, files[0], files[1]));
    const auto take = [](std::FILE* file) {
        std::string text;
        std::rewind(file);
        for (int c; (c = std::fgetc(file)) != EOF;)
            text += static_cast<char>(c);
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
    CliResult Check(const Args& args, int status, const std::string& err = "",
                    const CliLimits& limits = {60}) {
        const CliResult r = RunCli(args, limits);
        EXPECT_EQ(r.status, status) << testing::PrintToString(args) << "\n" << r.err;
        if (status == 2 && err.empty()) return r;
        EXPECT_EQ(r.err, err) << testing::PrintToString(args);
        return r;
    }

    kelvot::testkit::TempFolder dir;
};
