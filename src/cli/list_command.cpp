#include "archive/archive_model.h"
#include "archive/codepage.h"
#include "archive/list_order.h"
#include "archive/name_filter.h"
#include "cli/commands.h"

#include <iostream>
#include <nlohmann/json.hpp>

namespace kelvot::cli {

void AddListCommand(CLI::App& app, int& status) {
    auto* cmd = app.add_subcommand("list", "Print the entry names in the window's list order");
    auto archive = std::make_shared<std::string>();
    auto filterWord = std::make_shared<std::string>("all");
    auto namePattern = std::make_shared<std::string>();
    auto json = std::make_shared<bool>(false);
    cmd->add_option("ARCHIVE", *archive, "The DAT file")->required();
    cmd->add_option("--filter", *filterWord, "The type filter of the window's list")
        ->check(CLI::IsMember(WordsOf(kTypeFilters, TypeFilterWord), CLI::ignore_case));
    cmd->add_option("--name", *namePattern,
                    "Only the names that hold this text, or match it whole when it has * or ? (any run, "
                    "one character); letter case ignored");
    cmd->add_flag("--json", *json, "Print a JSON array of the entries");
    cmd->callback([=, &status] {
        const ArchiveModel model = LoadArchive(*archive);
        const auto lines = ApplyNameFilter(
            model, ListedEntries(model, ParseTypeFilter(*filterWord).value_or(TypeFilter::All)),
            *namePattern);
        const DirectoryTable& dir = model.Directory;
        if (*json) {
            auto out = nlohmann::ordered_json::array();
            for (const std::int32_t i : lines)
                out.push_back({{"index", i},
                               {"name", Cp1252ToUtf8(dir.EntryNames[i])},
                               {"type", TypeTag(dir.EntryTypes[i])},
                               {"size", dir.EntrySizes[i]},
                               {"offset", dir.EntryOffsets[i]},
                               {"nameFieldOffset", dir.NameFieldOffsets[i]}});
            std::cout << out.dump(2) << '\n';
        } else {
            std::string text;
            for (const std::int32_t i : lines)
                text += PrintableName(dir.EntryNames[i]) + '\n';
            std::cout << text;
        }
        status = 0;
    });
}

} // namespace kelvot::cli
