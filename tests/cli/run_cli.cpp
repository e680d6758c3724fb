#include "run_cli.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

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

CliResult RunCli(const std::vector<std::string>& args) {
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
        std::vector<char*> argv{const_cast<char*>(KELVOT_CLI)};
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(KELVOT_CLI, argv.data());
        ::_exit(127);
    }
    int wstatus = 0;
    ::waitpid(pid, &wstatus, 0);
    CliResult result;
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    ::lseek(outFd, 0, SEEK_SET);
    ::lseek(errFd, 0, SEEK_SET);
    result.out = ReadAll(outFd);
    result.err = ReadAll(errFd);
    ::unlink(outName);
    ::unlink(errName);
    return result;
}
