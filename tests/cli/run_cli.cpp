#include "run_cli.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <stdexcept>
#include <thread>

namespace {

std::string ReadAll(int fd) {
    std::string text;
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
    return text;
}

} // namespace

CliResult RunCli(const std::vector<std::string>& args, const CliLimits& limits) {
    // Output goes to temporary files, so a large listing cannot fill a pipe and stall the program.
    char outName[] = "/tmp/kelvot_cli_outXXXXXX";
    char errName[] = "/tmp/kelvot_cli_errXXXXXX";
    const int outFd = ::mkstemp(outName);
    const int errFd = ::mkstemp(errName);
    if (outFd < 0 || errFd < 0) throw std::runtime_error("cannot make temporary files");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(outFd, 1);
        ::dup2(errFd, 2);
        if (limits.addressSpace > 0) {
            const rlimit limit{limits.addressSpace, limits.addressSpace};
            ::setrlimit(RLIMIT_AS, &limit);
        }
        std::vector<char*> argv{const_cast<char*>(KELVOT_CLI)};
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(KELVOT_CLI, argv.data());
        ::_exit(127);
    }
    int wstatus = 0;
    CliResult result;
    if (limits.seconds > 0) {
        // Polled, so a program that hangs is ended rather than waited for.
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(limits.seconds);
        while (::waitpid(pid, &wstatus, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > end) {
                result.timedOut = true;
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &wstatus, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    } else {
        ::waitpid(pid, &wstatus, 0);
    }
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    result.signal = WIFSIGNALED(wstatus) ? WTERMSIG(wstatus) : 0;
    ::lseek(outFd, 0, SEEK_SET);
    ::lseek(errFd, 0, SEEK_SET);
    result.out = ReadAll(outFd);
    result.err = ReadAll(errFd);
    ::unlink(outName);
    ::unlink(errName);
    return result;
}
