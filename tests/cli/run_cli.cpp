#include "run_cli.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <iterator>

namespace {

// The file's text; the file is then removed.
std::string TakeAll(const char* name) {
    std::ifstream in(name, std::ios::binary);
    std::string text{std::istreambuf_iterator<char>(in), {}};
    ::unlink(name);
    return text;
}

} // namespace

void ExecCli(const Args& args) {
    std::vector<char*> argv{const_cast<char*>(KELVOT_CLI)};
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(KELVOT_CLI, argv.data());
    ::_exit(127);
}

CliResult RunCli(const Args& args, const CliLimits& limits) {
    // Output goes to files, so a large listing cannot fill a pipe and stall the program.
    char outName[] = "/tmp/kelvot_cli_outXXXXXX", errName[] = "/tmp/kelvot_cli_errXXXXXX";
    const int out = ::mkstemp(outName), err = ::mkstemp(errName);
    if (out < 0 || err < 0) throw std::runtime_error("cannot make temporary files");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out, 1);
        ::dup2(err, 2);
        for (const auto& [resource, bytes] :
             {std::pair{RLIMIT_AS, limits.addressSpace}, {RLIMIT_FSIZE, limits.fileSize}})
            if (const rlimit limit{bytes, bytes}; bytes > 0) ::setrlimit(resource, &limit);
        // The alarm outlives exec: a program that hangs is ended by SIGALRM.
        ::signal(SIGALRM, SIG_DFL);
        ::alarm(limits.seconds);
        ExecCli(args);
    }
    int wstatus = 0;
    ::waitpid(pid, &wstatus, 0);
    ::close(out);
    ::close(err);
    const int signal = WIFSIGNALED(wstatus) ? WTERMSIG(wstatus) : 0;
    return {WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1, signal, signal == SIGALRM, TakeAll(outName),
            TakeAll(errName)};
}

CliResult CliTest::Check(const Args& args, int status, const std::string& err) {
    const CliResult r = RunCli(args, {60});
    EXPECT_EQ(r.status, status) << testing::PrintToString(args) << "\n" << r.err;
    if (status == 2 && err.empty()) return r; // CLI11's usage text
    EXPECT_EQ(r.err, err) << testing::PrintToString(args);
    return r;
}
