// Every file operation of every command that writes made to fail in turn through the file layer's hook. The
// command must report the system's text for it; the archive must stay as it was (rename: or wholly renamed);
// every file in the folder must hold what it held before or what a run without failures writes: no
// temporary file left behind, no file half-written, none written lost.

#include "archive/extract.h"
#include "archive/file_system.h"
#include "archive_builder.h"
#include "edit_support.h"
#include "editing/picture_import.h"
#include "export/picture_export.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>

using namespace kelvot;
using namespace kelvot::testkit;
namespace fs = std::filesystem;

namespace {

// Each step fails with an error number of its own.
const std::tuple<FileStep, const char*, int> kSteps[] = {
    {FileStep::Open, "open", EACCES}, {FileStep::Create, "create", EDQUOT},
    {FileStep::Read, "read", EIO},    {FileStep::Write, "write", ENOSPC},
    {FileStep::Flush, "flush", EIO},  {FileStep::Rename, "rename", EBUSY}};

// An archive to edit (read-only, as a user's may be), files to add; an archive of pictures with and without
// mask files and other entries, an output folder of read-only files of the names the commands write, so
// they are replaced through a temporary file; folders to pack, one holding a read-only N.DAT.
void Setup(const fs::path& f) {
    const auto picture = [](PictureKind kind, std::uint8_t code) { return Picture(kind, code, 7, 5, code); };
    WriteFile(f / "T.DAT", BuildArchive({{"A.MIP", DataOfType("MIP", 40)},
                                         {"README", Bytes("kept")},
                                         {"B.SRB", DataOfType("SRB", 30)},
                                         {"C.TXT", Bytes("ccc")}}));
    WriteFile(f / "P.DAT", BuildArchive({{"WALL.MIP", picture(PictureKind::Mip, 5)},
                                         {"NOTE.TXT", Bytes("a note")},
                                         {"SKY.SRB", picture(PictureKind::Srb, 0)},
                                         {"GLASS.MIP", picture(PictureKind::Mip, 2)},
                                         {"DOOR.FB", picture(PictureKind::Pbf, 3)}}));
    for (const char* folder : {"in", "out", "new", "over"})
        fs::create_directory(f / folder);
    WriteFile(f / "in/b.srb", DataOfType("SRB", 50));
    WriteFile(f / "in/NEW.TXT", Bytes("new"));
    WriteFile(f / "in/W.png", Png(PictureKind::Mip, picture(PictureKind::Mip, 4))); // of WALL.MIP's size
    for (const char* name : {"new/A.TXT", "new/B.TXT", "over/A.TXT", "over/B.TXT"})
        WriteFile(f / name, Bytes(name));
    for (const char* name : {"out/SKY.SRB", "out/SKY.bmp", "out/SKY.jpg", "over/N.DAT", "T.DAT"}) {
        if (!fs::exists(f / name)) WriteFile(f / name, Bytes("the user's own file"));
        SetAttributes(f / name, kReadOnly);
    }
}

// The commands, each with the archive it reads or rewrites.
const std::pair<std::string_view, fs::path> kCommands[] = {
    {"create", "new/N.DAT"},       {"create over an archive", "over/N.DAT"},
    {"add by appending", "T.DAT"}, {"add by rebuilding", "T.DAT"},
    {"remove", "T.DAT"},           {"rename", "T.DAT"},
    {"import", "P.DAT"},           {"replace", "T.DAT"},
    {"extract", "P.DAT"},          {"export as BMP", "P.DAT"},
    {"export as JPEG", "P.DAT"}};

// The edits as the command line runs them: the lock, the directory read through it, the change. Extract and
// export read each entry by range.
void Run(std::string_view command, const fs::path& f) {
    const fs::path p = f / "P.DAT", out = f / "out";
    if (command.starts_with("create")) CreateArchive(f / (command == "create" ? "new" : "over"), "N.DAT");
    if (command.starts_with("ex")) {
        const FileHandle file = OpenForReading(p);
        const ArchiveModel model = LoadArchive(file);
        if (command == "extract") ExtractEntries(model, file, AllEntries(model), out);
        if (command == "export as BMP") ExportPictures(model, file, PictureEntries(model), out, {});
        if (command == "export as JPEG")
            ExportPictures(model, file, PictureEntries(model), out, {ExportFormat::Jpeg, JpegQuality::Good});
    }
    if (command.starts_with("create") || command.starts_with("ex")) return;
    const EditLock lock(command == "import" ? p : f / "T.DAT");
    const ArchiveModel d = ReadArchiveDirectory(lock);
    if (command == "remove") RemoveEntries(lock, d, std::vector{0, 3});
    if (command == "rename") RenameEntry(lock, d, RecordStart(2) + kNameField, "Z.SRB");
    if (command == "import") ImportPicture(lock, d, 0, f / "in/W.png", 1);
    if (command == "replace") ReplaceEntry(lock, d, 1, f / "in/b.srb");
    std::vector<fs::path> files{f / "in/NEW.TXT"};
    if (command == "add by rebuilding") files.push_back(f / "in/b.srb"); // as B.SRB, it makes add rebuild
    if (command.starts_with("add")) AddFiles(lock, d, SelectAddCandidates(files).Packable);
}

struct Outcome {
    FileTree before, after;
    std::string message;
    int number = 0;
};

// Runs the command in a fresh folder with the hook in place.
Outcome RunWith(std::string_view command, FileFaultHook hook) {
    TempFolder folder;
    Setup(folder.path());
    Outcome outcome{FilesUnder(folder.path()), {}, {}, 0};
    try {
        const HookInPlace inPlace(std::move(hook));
        Run(command, folder.path());
    } catch (const KelvotError& e) {
        outcome.message = e.what();
        outcome.number = e.number();
    }
    outcome.after = FilesUnder(folder.path());
    return outcome;
}

std::optional<std::vector<std::uint8_t>> In(const FileTree& tree, const fs::path& path) {
    const auto it = tree.find(path);
    return it == tree.end() ? std::nullopt : std::optional(it->second);
}

} // namespace

TEST(FaultInjection, EveryFailingStepOfEveryWritingCommandLeavesOldOrCompleteFilesOnly) {
    for (const auto& [command, target] : kCommands) {
        const bool inPlace = command == "rename";         // as it was or wholly renamed
        const FileTree done = RunWith(command, {}).after; // what a run without failures gives
        std::set<FileStep> failed, expected;
        for (const auto& [step, stepName, error] : kSteps) {
            // Every step comes into play; a rename in place creates and renames no file.
            if (!inPlace || (step != FileStep::Create && step != FileStep::Rename)) expected.insert(step);
            for (int nth = 1;; ++nth) {
                SCOPED_TRACE(std::string(command) + ", " + stepName + " number " + std::to_string(nth));
                // The nth call of the step fails with its error number.
                int calls = 0;
                const Outcome run =
                    RunWith(command, [&, step = step, error = error](FileStep s, const fs::path&) {
                        return s == step && ++calls == nth ? error : 0;
                    });
                if (calls < nth) {
                    EXPECT_EQ(run.message, "");
                    EXPECT_EQ(run.after, done);
                    break;
                }
                failed.insert(step);
                EXPECT_EQ(run.number, error);
                EXPECT_NE(run.message.find(std::strerror(error)), std::string::npos) << run.message;
                const auto archive = In(run.after, target);
                EXPECT_TRUE(archive == In(run.before, target) || (inPlace && archive == In(done, target)));
                // Every file, whether there before or not, is as it was or as a whole run writes it.
                FileTree all = run.before;
                all.insert(run.after.begin(), run.after.end());
                for (const auto& [path, bytes] : all)
                    EXPECT_TRUE(In(run.after, path) == In(run.before, path) ||
                                In(run.after, path) == In(done, path))
                        << path << " is neither as it was nor as a whole run writes it";
            }
        }
        EXPECT_EQ(failed, expected) << command;
    }
}
