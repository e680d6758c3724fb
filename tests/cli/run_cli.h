#pragma once

// Runs kelvot-cli as a separate process and collects what it printed and how it ended.

#include <cstddef>
#include <string>
#include <vector>

struct CliResult {
    int status = -1;       // the exit status; -1 when it did not exit by itself
    int signal = 0;        // the signal that ended it, if one did
    bool timedOut = false; // still running when its time was up, and then killed
    std::string out, err;
};

struct CliLimits {
    int seconds = 0;              // 0: no limit
    std::size_t addressSpace = 0; // bytes of address space it may use; 0: no limit
    std::size_t fileSize = 0;     // the largest file it may write (ulimit -f), in bytes; 0: no limit
};

CliResult RunCli(const std::vector<std::string>& args, const CliLimits& limits = {});

// In a child process: becomes kelvot-cli with the arguments.
[[noreturn]] void ExecCli(const std::vector<std::string>& args);
