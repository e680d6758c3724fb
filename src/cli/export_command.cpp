#include "archive/archive_model.h"
#include "archive/extract.h"
#include "cli/commands.h"
#include "cli/output_report.h"
#include "cli/progress.h"
#include "export/jpeg_export.h"
#include "export/picture_export.h"

namespace kelvot::cli {

void AddExportCommand(CLI::App& app, int& status) {
    auto* cmd = app.add_subcommand("export", "Save picture entries as BMP, JPEG or PNG files in a folder");
    auto archive = std::make_shared<std::string>();
    auto dest = std::make_shared<std::string>();
    auto format = std::make_shared<std::string>();
    auto quality = std::make_shared<std::string>();
    auto names = std::make_shared<std::vector<std::string>>();
    cmd->add_option("ARCHIVE", *archive, "The DAT file")->required();
    cmd->add_option("DEST", *dest, "The folder to write to; made if missing")->required();
    cmd->add_option("--format", *format,
                    "bmp (with _ti.bmp mask files where the format has them), jpg, or png (transparency "
                    "included)")
        ->required()
        ->check(CLI::IsMember(WordsOf(kExportFormats, ExportFormatWord), CLI::ignore_case));
    auto* qualityOption =
        cmd->add_option("--quality", *quality, "JPEG quality (default: superb)")
            ->check(CLI::IsMember(WordsOf(kJpegQualities, JpegQualityCliWord), CLI::ignore_case));
    auto maxMegapixels = std::make_shared<std::int64_t>(kDefaultMaxMegapixels);
    cmd->add_option("--max-megapixels", *maxMegapixels,
                    "The largest picture to decode, in millions of pixels (default 256)")
        ->check(CLI::PositiveNumber);
    cmd->add_option("NAME", *names,
                    "Entries to export (letter case ignored); every picture entry when none is given");
    cmd->callback([=, &status] {
        const ExportFormat chosen = ParseExportFormat(*format).value_or(ExportFormat::Bmp);
        if (chosen != ExportFormat::Jpeg && qualityOption->count() > 0)
            throw CLI::ValidationError("--quality", "applies to --format jpg only");
        // The directory alone: each picture is read from the file by range.
        const FileHandle file = OpenForReading(*archive);
        const ArchiveModel model = LoadArchive(file);
        const auto indices = names->empty() ? PictureEntries(model) : EntriesNamed(model, *names);
        const auto folder = MakeFolder(*dest);
        TerminalProgress shown("export");
        const ExportOptions options{chosen, StoredJpegQuality(*quality), *maxMegapixels};
        const OutputResult result = ExportPictures(model, file, indices, folder, options, shown.Entries());
        shown.Done();
        status = ReportProblems(result);
    });
}

} // namespace kelvot::cli
