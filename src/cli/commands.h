#pragma once

// Each command of kelvot-cli adds its subcommand here. A command's callback sets the exit status it
// ends with; a KelvotError it throws becomes "kelvot-cli: <description>" and status 1.

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

namespace kelvot::cli {

// The words an option takes, from the core's table of values and its word for each.
template <class Values, class Word> std::vector<std::string> WordsOf(const Values& values, Word word) {
    std::vector<std::string> words;
    for (const auto value : values)
        words.emplace_back(word(value));
    return words;
}

void AddListCommand(CLI::App& app, int& status);
void AddInfoCommand(CLI::App& app, int& status);
void AddVerifyCommand(CLI::App& app, int& status);
void AddExtractCommand(CLI::App& app, int& status);
void AddExportCommand(CLI::App& app, int& status);
// create, add, remove, rename, import and replace.
void AddEditCommands(CLI::App& app, int& status);
#ifdef KELVOT_WITH_MOUNT
void AddMountCommand(CLI::App& app, int& status);
#endif

} // namespace kelvot::cli
