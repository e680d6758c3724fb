// Every file operation of every command that writes (create, add both ways, remove, rename, import,
// replace, extract, export as BMP and as JPEG) made to fail in turn through the file layer's hook. The command must report
// the system's text for it; the archive must stay byte for byte as it was (rename: as it was or wholly
// renamed); and every file in the folder must afterwards hold either what it held before or what a run
// without failures writes: no temporary file left behind, no file half-written, none written lost.

#include "archive/extract.h"
#include "archive/file_system.h"
#include "archive_builder.h"
#include "edit_support.h"
#include "editing/archive_edit.h"
#include "editing/packing.h"
#include "editing/picture_import.h"
#include "export/png_export.h"
#include "export/picture_export.h"
#include "picture_builder.h"
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

using InFolder = std::function<void(const fs::path& folder)>;

struct Scenario {
    const char* name;
    InFolder run;
    fs::path target;      // the archive the command reads or rewrites, relative to the folder
    bool inPlace = false; // rename: writes into the archive itself, which is then as it was or renamed
};

// The files every command starts from: an archive to edit (read-only, as a user's may be) and files to add
// to it; an archive of pictures with and without mask files and other entries, and an output folder that
// holds read-only files of names the commands write, so they are replaced through a temporary file; a
// folder to pack, and one that also holds a read-only archive of the name being created.
void Setup(const fs::path& f) {
    WriteFile(f / "T.DAT", BuildArchive({{"A.MIP", DataOfType("MIP", 40)},
                                         {"README", Bytes("kept")},
                                         {"B.SRB", DataOfType("SRB", 30)},
                                         {"C.TXT", Bytes("ccc")}}));
    SetAttributes(f / "T.DAT", kReadOnly);
    fs::create_directory(f / "in");
    WriteFile(f / "in" / "b.srb", DataOfType("SRB", 50));
    WriteFile(f / "in" / "NEW.TXT", Bytes("new"));
    const auto picture = [](PictureKind kind, std::uint8_t code) {
        return EncodePicture(RandomPicture(kind, code, 7, 5, code));
    };
    WriteFile(f / "P.DAT", BuildArchive({{"WALL.MIP", picture(PictureKind::Mip, 5)},
                                         {"NOTE.TXT", Bytes("a note")},
                                         {"SKY.SRB", picture(PictureKind::Srb, 0)},
                                         {"GLASS.MIP", picture(PictureKind::Mip, 2)},
                                         {"DOOR.FB", picture(PictureKind::Pbf, 3)}}));
    const auto wall = picture(PictureKind::Mip, 4); // another picture of WALL.MIP's size, to import
    WriteFile(f / "in" / "W.png", EncodePng(PictureKind::Mip, wall, *DecodePicture(PictureKind::Mip, wall)));
    fs::create_directory(f / "out");
    for (const char* name : {"SKY.SRB", "SKY.bmp", "SKY.jpg"}) {
        WriteFile(f / "out" / name, Bytes("the user's own file"));
        SetAttributes(f / "out" / name, kReadOnly);
    }
    for (const char* folder : {"new", "over"}) {
        fs::create_directory(f / folder);
        WriteFile(f / folder / "A.TXT", Bytes("0123456789"));
        WriteFile(f / folder / "B.TXT", Bytes("abc"));
    }
    WriteFile(f / "over" / "N.DAT", Bytes("old archive"));
    SetAttributes(f / "over" / "N.DAT", kReadOnly);
}

struct Outcome {
    FileTree before, after;
    std::string message;
    int number = 0;
};

// Runs the command in a fresh folder with the hook in place.
Outcome RunWith(const Scenario& scenario, FileFaultHook hook) {
    TempFolder folder;
    Setup(folder.path());
    Outcome outcome;
    outcome.before = FilesUnder(folder.path());
    try {
        const HookInPlace inPlace(std::move(hook));
        scenario.run(folder.path());
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

std::vector<Scenario> Scenarios() {
    const auto create = [](const char* folder) -> InFolder {
        return [=](const fs::path& f) { CreateArchive(f / folder, "N.DAT"); };
    };
    // The edits as the command line runs them: the lock, the directory read through it, the change.
    const auto add = [](std::vector<std::string> names) -> InFolder {
        return [=](const fs::path& f) {
            std::vector<fs::path> files;
            for (const auto& n : names)
                files.push_back(f / "in" / n);
            const EditLock lock(f / "T.DAT");
            AddFiles(lock, ReadArchiveDirectory(lock), SelectAddCandidates(files).Packable);
        };
    };
    const auto remove = [](const fs::path& f) {
        const EditLock lock(f / "T.DAT");
        RemoveEntries(lock, ReadArchiveDirectory(lock), std::vector<std::int32_t>{0, 3});
    };
    const auto rename = [](const fs::path& f) {
        const EditLock lock(f / "T.DAT");
        RenameEntry(lock, ReadArchiveDirectory(lock), RecordStart(2) + kNameField, "Z.SRB");
    };
    const auto import = [](const fs::path& f) {
        const EditLock lock(f / "P.DAT");
        ImportPicture(lock, ReadArchiveDirectory(lock), 0, f / "in" / "W.png", 1);
    };
    const auto replace = [](const fs::path& f) {
        const EditLock lock(f / "T.DAT");
        ReplaceEntry(lock, ReadArchiveDirectory(lock), 1, f / "in" / "b.srb");
    };
    // Extract and BMP export as the command line runs them: the listing, then each entry read by range.
    const auto extract = [](const fs::path& f) {
        const ArchiveListing listing = LoadArchiveListing(f / "P.DAT");
        ExtractEntries(listing, f / "P.DAT", AllEntries(listing), f / "out");
    };
    const auto bmp = [](const fs::path& f) {
        const ArchiveListing listing = LoadArchiveListing(f / "P.DAT");
        ExportPictures(listing, f / "P.DAT", PictureEntries(listing), f / "out", {});
    };
    // JPEG export as the window runs it: from the archive loaded whole.
    const auto jpeg = [](const fs::path& f) {
        const ArchiveModel model = LoadArchive(f / "P.DAT");
        ExportLoadedPictures(model, f / "P.DAT", PictureEntries(model), f / "out",
                             {ExportFormat::Jpeg, JpegQuality::Good});
    };
    return {{"create", create("new"), "new/N.DAT"},
            {"create over an archive", create("over"), "over/N.DAT"},
            {"add by appending", add({"NEW.TXT"}), "T.DAT"},
            {"add by rebuilding", add({"NEW.TXT", "b.srb"}), "T.DAT"},
            {"remove", remove, "T.DAT"},
            {"rename", rename, "T.DAT", true},
            {"import", import, "P.DAT"},
            {"replace", replace, "T.DAT"},
            {"extract", extract, "P.DAT"},
            {"export as BMP", bmp, "P.DAT"},
            {"export as JPEG", jpeg, "P.DAT"}};
}

} // namespace

TEST(FaultInjection, EveryFailingStepOfEveryWritingCommandLeavesOldOrCompleteFilesOnly) {
    for (const Scenario& scenario : Scenarios()) {
        const FileTree done = RunWith(scenario, {}).after; // what a run without failures gives
        std::set<FileStep> failed, expected;
        for (const auto& [step, stepName, error] : kSteps) {
            // Every step comes into play; a rename in place creates and renames no file.
            if (!scenario.inPlace || (step != FileStep::Create && step != FileStep::Rename))
                expected.insert(step);
            for (int nth = 1;; ++nth) {
                SCOPED_TRACE(std::string(scenario.name) + ", " + stepName + " number " + std::to_string(nth));
                // The nth call of the step fails with its error number.
                int calls = 0;
                const Outcome run =
                    RunWith(scenario, [&, step = step, error = error](FileStep s, const fs::path&) {
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
                const auto archive = In(run.after, scenario.target);
                if (!(scenario.inPlace && archive == In(done, scenario.target))) {
                    EXPECT_EQ(archive, In(run.before, scenario.target));
                }
                for (const auto& [path, bytes] : run.before)
                    EXPECT_TRUE(run.after.contains(path)) << path << " is gone";
                for (const auto& [path, bytes] : run.after)
                    EXPECT_TRUE(bytes == In(run.before, path) || bytes == In(done, path))
                        << path << " is neither as it was nor as a whole run writes it";
            }
        }
        EXPECT_EQ(failed, expected) << scenario.name;
    }
}
