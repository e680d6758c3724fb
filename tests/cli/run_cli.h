#pragma once

// Runs kelvot-cli as a separate process and collects what it printed and how it ended.

#include "archive_builder.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Args = std::vector<std::string>;

struct CliResult {
    int status = -1;       // the exit status; -1 when it did not exit by itself
    int signal = 0;        // the signal that ended it, if one did
    bool timedOut = false; // ended by SIGALRM when its time was up
    std::string out, err;
};

struct CliLimits {
    unsigned seconds = 0;         // 0: no limit
    std::size_t addressSpace = 0; // bytes of address space it may use; 0: no limit
    std::size_t fileSize = 0;     // the largest file it may write (ulimit -f), in bytes; 0: no limit
};

CliResult RunCli(const Args& args, const CliLimits& limits = {});

// In a child process: becomes kelvot-cli with the arguments.
[[noreturn]] void ExecCli(const Args& args);

// Commands run on files in a temporary folder.
class CliTest : public ::testing::Test {
  protected:
    std::string Path(const std::string& name) const { return (dir / name).string(); }
    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        kelvot::testkit::WriteFile(dir / name, bytes);
        return Path(name);
    }
    // Runs the command and checks its exit status and stderr; for status 2, CLI11's usage text, only when
    // `err` is given.
    CliResult Check(const Args& args, int status, const std::string& err = "");

    kelvot::testkit::TempFolder dir;
};
