#pragma once

// What a command that writes files into a folder reports: the files it wrote and the entries it had to
// leave out, each with a sentence the window or the command line can show as it stands.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace kelvot {

struct EntryProblem {
    std::int32_t Index = 0;  // directory index of the entry
    std::string Description; // UTF-8, names the entry
};

struct OutputResult {
    std::vector<std::filesystem::path> Written; // in the order written; a path again when it was replaced
    std::vector<EntryProblem> Problems;
};

// Called after each requested entry with the number handled so far and the number requested; may be empty.
using Progress = std::function<void(std::int32_t done, std::int32_t total)>;

} // namespace kelvot
