#include "archive/archive_model.h"
#include "archive/error.h"
#include "archive/extract.h"
#include "cli/commands.h"
#include "cli/output_report.h"
#include "cli/progress.h"

namespace kelvot::cli {

void AddExtractCommand(CLI::App& app, int& status) {
    auto* cmd = app.add_subcommand("extract", "Copy entries, byte for byte, into files in a folder");
    auto archive = std::make_shared<std::string>();
    auto dest = std::make_shared<std::string>();
    auto names = std::make_shared<std::vector<std::string>>();
    cmd->add_option("ARCHIVE", *archive, "The DAT file")->required();
    cmd->add_option("DEST", *dest, "The folder to write to; made if missing")->required();
    cmd->add_option("NAME", *names,
                    "Entries to extract (letter case ignored); every entry when none is given");
    cmd->callback([=, &status] {
        // The directory alone: the entries are copied from the file by range.
        const FileHandle file = OpenForReading(*archive);
        const ArchiveModel model = LoadArchive(file);
        const auto indices = names->empty() ? AllEntries(model) : EntriesNamed(model, *names);
        const auto folder = MakeFolder(*dest);
        TerminalProgress shown("extract");
        const OutputResult result = ExtractEntries(model, file, indices, folder, shown.Entries());
        shown.Done();
        status = ReportProblems(result);
    });
}

} // namespace kelvot::cli
