// Every file operation of every command that writes (create, add both ways, remove, rename, extract,
// export as BMP and as JPEG) made to fail in turn through the file layer's hook. The command must report
// the system's text for it; the archive must stay byte for byte as it was (rename: as it was or wholly
// renamed); and every file in the folder must afterwards hold either what it held before or what a run
// without failures writes: no temporary file left behind, no file half-written, none written lost.

#include "archive/archive_model.h"
#include "archive/dat_format.h"
#include "archive/extract.h"
#include "archive/file_ops.h"
#include "archive/file_system.h"
#include "archive_builder.h"
#include "edit_support.h"
#include "editing/archive_edit.h"
#include "editing/packing.h"
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

// Puts the file layer's fault hook in place for as long as it lives.
struct HookInPlace {
    explicit HookInPlace(FileFaultHook hook) : previous(SetFileFaultHook(std::move(hook))) {}
    ~HookInPlace() { SetFileFaultHook(std::move(previous)); }
    FileFaultHook previous;
};

struct Step {
    FileStep step;
    const char* name;
    int error;
};

const Step kSteps[] = {{FileStep::Open, "open", EACCES}, {FileStep::Create, "create", EDQUOT},
                       {FileStep::Read, "read", EIO},    {FileStep::Write, "write", ENOSPC},
                       {FileStep::Flush, "flush", EIO},  {FileStep::Rename, "rename", EBUSY}};

struct Scenario {
    const char* name;
    std::function<void(const fs::path& folder)> setup; // writes the files the command starts from
    std::function<void(const fs::path& folder)> run;
    fs::path target;      // the archive the command reads or rewrites, relative to the folder
    bool inPlace = false; // rename: writes into the archive itself, which is then as it was or renamed
};

std::optional<std::vector<std::uint8_t>> In(const FileTree& tree, const fs::path& path) {
    const auto it = tree.find(path);
    if (it == tree.end()) return std::nullopt;
    return it->second;
}

void WriteArchive(const fs::path& folder) {
    WriteFile(folder / "T.DAT", BuildArchive({{"A.MIP", DataOfType("MIP", 40)},
                                              {"README", Bytes("kept")},
                                              {"B.SRB", DataOfType("SRB", 30)},
                                              {"C.TXT", Bytes("ccc")}}));
    SetAttributes(folder / "T.DAT", kReadOnly);
    fs::create_directory(folder / "in");
    WriteFile(folder / "in" / "b.srb", DataOfType("SRB", 50));
    WriteFile(folder / "in" / "NEW.TXT", Bytes("new"));
}

// An archive of pictures with and without mask files and other entries, and an output folder that holds
// a read-only file of a name the command writes, so it is replaced through a temporary file.
void WritePictures(const fs::path& folder) {
    auto picture = [](PictureKind kind, std::uint8_t code) {
        return EncodePicture(RandomPicture(kind, code, 7, 5, code));
    };
    WriteFile(folder / "P.DAT", BuildArchive({{"WALL.MIP", picture(PictureKind::Mip, 5)},
                                              {"NOTE.TXT", Bytes("a note")},
                                              {"SKY.SRB", picture(PictureKind::Srb, 0)},
                                              {"GLASS.MIP", picture(PictureKind::Mip, 2)},
                                              {"DOOR.FB", picture(PictureKind::Pbf, 3)}}));
    fs::create_directory(folder / "out");
    for (const char* name : {"SKY.SRB", "SKY.bmp", "SKY.jpg"}) {
        WriteFile(folder / "out" / name, Bytes("the user's own file"));
        SetAttributes(folder / "out" / name, kReadOnly);
    }
}

void WriteFolderToPack(const fs::path& folder) {
    WriteFile(folder / "A.TXT", Bytes("0123456789"));
    WriteFile(folder / "B.TXT", Bytes("abc"));
}

std::vector<Scenario> Scenarios() {
    auto add = [](const std::vector<std::string>& names) {
        return [=](const fs::path& folder) {
            std::vector<fs::path> files;
            for (const auto& n : names)
                files.push_back(folder / "in" / n);
            AddFiles(EditLock(folder / "T.DAT"), ReadArchiveDirectory(folder / "T.DAT"),
                     SelectAddCandidates(files).Packable);
        };
    };
    const auto create = [](const fs::path& f) { CreateArchive(f, "N.DAT"); };
    return {
        {"create", WriteFolderToPack, create, "N.DAT"},
        {"create over an archive",
         [](const fs::path& f) {
             WriteFolderToPack(f);
             WriteFile(f / "N.DAT", Bytes("old archive"));
             SetAttributes(f / "N.DAT", kReadOnly);
         },
         create, "N.DAT"},
        {"add by appending", WriteArchive, add({"NEW.TXT"}), "T.DAT"},
        {"add by rebuilding", WriteArchive, add({"NEW.TXT", "b.srb"}), "T.DAT"},
        {"remove", WriteArchive,
         [](const fs::path& f) {
             RemoveEntries(EditLock(f / "T.DAT"), ReadArchiveDirectory(f / "T.DAT"),
                           std::vector<std::int32_t>{0, 3});
         },
         "T.DAT"},
        {"rename", WriteArchive,
         [](const fs::path& f) {
             RenameEntry(EditLock(f / "T.DAT"), ReadArchiveDirectory(f / "T.DAT"), RecordStart(2) + kNameField,
                         "Z.SRB");
         },
         "T.DAT", true},
        // As the command line runs them: the listing, then each entry read by range.
        {"extract", WritePictures,
         [](const fs::path& f) {
             const ArchiveListing listing = LoadArchiveListing(f / "P.DAT");
             ExtractEntries(listing, f / "P.DAT", AllEntries(listing), f / "out");
         },
         "P.DAT"},
        {"export as BMP", WritePictures,
         [](const fs::path& f) {
             const ArchiveListing listing = LoadArchiveListing(f / "P.DAT");
             ExportPictures(listing, f / "P.DAT", PictureEntries(listing), f / "out", {});
         },
         "P.DAT"},
        // As the window runs it: from the archive loaded whole.
        {"export as JPEG", WritePictures,
         [](const fs::path& f) {
             const ArchiveModel model = LoadArchive(f / "P.DAT");
             ExportLoadedPictures(model, f / "P.DAT", PictureEntries(model), f / "out",
                                  {ExportFormat::Jpeg, JpegQuality::Good});
         },
         "P.DAT"},
    };
}

} // namespace

TEST(FaultInjection, EveryFailingStepOfEveryWritingCommandLeavesOldOrCompleteFilesOnly) {
    for (const Scenario& scenario : Scenarios()) {
        // What a run without failures gives.
        FileTree done;
        {
            TempFolder folder;
            scenario.setup(folder.path());
            scenario.run(folder.path());
            done = FilesUnder(folder.path());
        }
        std::set<FileStep> failed;
        for (const Step& step : kSteps) {
            for (int nth = 1;; ++nth) {
                SCOPED_TRACE(std::string(scenario.name) + ", " + step.name + " number " +
                             std::to_string(nth));
                TempFolder folder;
                scenario.setup(folder.path());
                const FileTree before = FilesUnder(folder.path());
                std::string message;
                int number = 0;
                int calls = 0;
                {
                    // The nth call of the step fails with its error number.
                    const HookInPlace hook([&](FileStep s, const fs::path&) {
                        return s == step.step && ++calls == nth ? step.error : 0;
                    });
                    try {
                        scenario.run(folder.path());
                    } catch (const KelvotError& e) {
                        message = e.what();
                        number = e.number();
                    }
                }
                const FileTree after = FilesUnder(folder.path());
                if (calls < nth) {
                    EXPECT_EQ(message, "");
                    EXPECT_EQ(after, done);
                    break;
                }
                failed.insert(step.step);
                EXPECT_EQ(number, step.error);
                EXPECT_NE(message.find(std::strerror(step.error)), std::string::npos) << message;
                const auto archive = In(after, scenario.target);
                if (!(scenario.inPlace && archive == In(done, scenario.target))) {
                    EXPECT_EQ(archive, In(before, scenario.target));
                }
                for (const auto& [path, bytes] : before)
                    EXPECT_TRUE(after.contains(path)) << path << " is gone";
                for (const auto& [path, bytes] : after)
                    EXPECT_TRUE(bytes == In(before, path) || bytes == In(done, path))
                        << path << " is neither as it was nor as a whole run writes it";
            }
        }
        // Every step comes into play; a rename in place creates and renames no file.
        std::set<FileStep> expected;
        for (const Step& step : kSteps)
            if (!scenario.inPlace || (step.step != FileStep::Create && step.step != FileStep::Rename))
                expected.insert(step.step);
        EXPECT_EQ(failed, expected) << scenario.name;
    }
}
