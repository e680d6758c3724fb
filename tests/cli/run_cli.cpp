#include "run_cli.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <stdexcept>

namespace {

// Everything written to the file, which is then closed and removed.
std::string TakeAll(int fd, const char* name) {
    std::string text;
    char buffer[65536];
    ssize_t n;
    ::lseek(fd, 0, SEEK_SET);
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
    ::unlink(name);
    return text;
}

} // namespace

void ExecCli(const std::vector<std::string>& args) {
    std::vector<char*> argv{const_cast<char*>(KELVOT_CLI)};
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(KELVOT_CLI, argv.data());
    ::_exit(127);
}

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
        if (limits.fileSize > 0) {
            const rlimit limit{limits.fileSize, limits.fileSize};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        // The alarm outlives exec: a program that hangs is ended by SIGALRM.
        ::signal(SIGALRM, SIG_DFL);
        if (limits.seconds > 0) ::alarm(static_cast<unsigned>(limits.seconds));
        ExecCli(args);
    }
    int wstatus = 0;
    ::waitpid(pid, &wstatus, 0);
    CliResult result;
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    result.signal = WIFSIGNALED(wstatus) ? WTERMSIG(wstatus) : 0;
    result.timedOut = result.signal == SIGALRM;
    result.out = TakeAll(outFd, outName);
    result.err = TakeAll(errFd, errName);
    return result;
}
