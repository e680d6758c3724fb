#pragma once

// Runs kelvot-cli as a separate process and collects what it printed and how it ended.

#include <string>
#include <vector>

struct CliResult {
    int status = -1;
    std::string out, err;
};

CliResult RunCli(const std::vector<std::string>& args);
