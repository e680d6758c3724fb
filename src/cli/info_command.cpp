#include "archive/archive_model.h"
#include "archive/codepage.h"
#include "archive/error.h"
#include "archive/list_order.h"
#include "cli/commands.h"
#include "images/picture_layout.h"
#include "images/status_text.h"

#include <iostream>
#include <nlohmann/json.hpp>

namespace kelvot::cli {

void AddInfoCommand(CLI::App& app, int& status) {
    auto* cmd = app.add_subcommand("info", "Print the seven status-bar texts the window shows for one entry");
    auto archive = std::make_shared<std::string>();
    auto nameText = std::make_shared<std::string>();
    auto filterWord = std::make_shared<std::string>("all");
    auto json = std::make_shared<bool>(false);
    cmd->add_option("ARCHIVE", *archive, "The DAT file")->required();
    cmd->add_option("NAME", *nameText, "The entry (letter case ignored)")->required();
    cmd->add_option("--filter", *filterWord, "The type filter of the list the line number counts in")
        ->check(CLI::IsMember(WordsOf(kTypeFilters, TypeFilterWord), CLI::ignore_case));
    cmd->add_flag("--json", *json, "Print the panels and the picture's header as JSON");
    cmd->callback([=, &status] {
        const FileHandle file = OpenForReading(*archive);
        const ArchiveModel model = LoadArchive(file);
        const std::int32_t index = model.EntryNamed(*nameText);
        const DirectoryTable& dir = model.Directory;
        // The entry's line is the first one of its name: equal names keep directory order.
        const auto lines = ListedEntries(model, ParseTypeFilter(*filterWord).value_or(TypeFilter::All));
        std::int32_t lineNumber = 0;
        for (std::size_t k = 0; k < lines.size() && lineNumber == 0; ++k)
            if (NamesEqualIgnoringCase(dir.EntryNames[lines[k]], dir.EntryNames[index]))
                lineNumber = static_cast<std::int32_t>(k) + 1;
        if (lineNumber == 0)
            throw KelvotError(kDamagedArchive,
                              *nameText + " is not listed under the filter " + *filterWord + ".");

        const EntryType type = dir.EntryTypes[index];
        EntryReader reader(model, file);
        // The panels read the picture header, never more: an entry can be far larger.
        const EntryBytes entry = reader.Read(index, kPictureHeaderBytes);
        const auto panels = StatusPanelTexts({type, dir.EntryNames[index], entry, dir.EntrySizes[index],
                                              lineNumber, static_cast<std::int32_t>(lines.size())},
                                             ".");
        if (*json) {
            nlohmann::ordered_json out{{"panels", panels},
                                       {"type", TypeTag(type)},
                                       {"formatCode", nullptr},
                                       {"width", nullptr},
                                       {"height", nullptr}};
            const auto kind = PictureKindOf(type);
            if (const auto header = kind ? ReadPictureHeader(*kind, entry) : std::nullopt) {
                out["formatCode"] = header->FormatCode;
                out["width"] = header->Width;
                out["height"] = header->Height;
            }
            std::cout << out.dump(2) << '\n';
        } else {
            for (const auto& panel : panels)
                std::cout << panel << '\n';
        }
        status = 0;
    });
}

} // namespace kelvot::cli
