// Every file operation of every command that writes (create, add both ways, remove, rename, extract,
// export as BMP and as JPEG) made to fail in turn through the file layer's hook. The command must report
// the system's text for it; the archive must stay byte for byte as it was (rename: as it was or wholly
// renamed); and every file in the folder must afterwards hold either what it held before or what a run
// without failures writes: no temporary file left behind, no file half-written, none written lost.

#include "archive/archive_model.h"
#include "archive/dat_format.h"
#include "archive/error.h"
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
#include <map>
#include <optional>
#include <set>

using namespace kelvot;
using namespace kelvot::testkit;
namespace fs = std::filesystem;

namespace {

// Makes the nth call of one step fail with an error number, for as long as it lives.
class FailNth {
  public:
    FailNth(FileStep step, int nth, int error) : nth_(nth) {
        previous_ = SetFileFaultHook([=, this](FileStep s, const fs::path&) {
            if (s != step) return 0;
            return ++calls_ == nth ? error : 0;
        });
    }
    ~FailNth() { SetFileFaultHook(std::move(previous_)); }
    bool Fired() const { return calls_ >= nth_; }

  private:
    FileFaultHook previous_;
    int calls_ = 0;
    int nth_ = 0;
};

struct Step {
    FileStep step;
    const char* name;
    int error;
};

const Step kSteps[] = {{FileStep::Open, "open", EACCES}, {FileStep::Create, "create", EDQUOT},
                       {FileStep::Read, "read", EIO},    {FileStep::Write, "write", ENOSPC},
                       {FileStep::Flush, "flush", EIO},  {FileStep::Rename, "rename", EBUSY}};
const std::set<FileStep> kEveryStep = {FileStep::Open,  FileStep::Create, FileStep::Read,
                                       FileStep::Write, FileStep::Flush,  FileStep::Rename};

struct Scenario {
    const char* name;
    std::function<void(const fs::path& folder)> setup; // writes the files the command starts from
    std::function<void(const fs::path& folder)> run;
    fs::path target;             // the archive the command reads or rewrites, relative to the folder
    bool partialAllowed = false; // rename: the old name or the new one
    std::set<FileStep> steps = kEveryStep;
};

// Every file under the folder, by its path relative to it, with its bytes.
using Tree = std::map<fs::path, std::vector<std::uint8_t>>;

Tree Snapshot(const fs::path& folder) {
    Tree tree;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (!e.is_directory()) tree[fs::relative(e.path(), folder)] = ReadBytes(e.path());
    return tree;
}

std::optional<std::vector<std::uint8_t>> In(const Tree& tree, const fs::path& path) {
    const auto it = tree.find(path);
    if (it == tree.end()) return std::nullopt;
    return it->second;
}

const auto kArchive = BuildArchive({{"A.MIP", DataOfType("MIP", 40)},
                                    {"README", Bytes("kept")},
                                    {"B.SRB", DataOfType("SRB", 30)},
                                    {"C.TXT", Bytes("ccc")}});

void WriteArchive(const fs::path& folder) {
    WriteFile(folder / "T.DAT", kArchive);
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

std::vector<Scenario> Scenarios() {
    auto add = [](const std::vector<std::string>& names) {
        return [=](const fs::path& folder) {
            std::vector<fs::path> files;
            for (const auto& n : names)
                files.push_back(folder / "in" / n);
            const fs::path archive = folder / "T.DAT";
            AddFiles(archive, ReadArchiveDirectory(archive), SelectAddCandidates(files).Packable);
        };
    };
    auto packFolder = [](const fs::path& folder) {
        WriteFile(folder / "A.TXT", Bytes("0123456789"));
        WriteFile(folder / "B.TXT", Bytes("abc"));
    };
    const auto noCreate = [] {
        auto steps = kEveryStep;
        steps.erase(FileStep::Create);
        steps.erase(FileStep::Rename);
        return steps;
    }();
    return {
        {"create", packFolder, [](const fs::path& f) { CreateArchive(f, "N.DAT"); }, "N.DAT"},
        {"create over an archive",
         [=](const fs::path& f) {
             packFolder(f);
             WriteFile(f / "N.DAT", Bytes("old archive"));
             SetAttributes(f / "N.DAT", kReadOnly);
         },
         [](const fs::path& f) { CreateArchive(f, "N.DAT"); }, "N.DAT"},
        {"add by appending", WriteArchive, add({"NEW.TXT"}), "T.DAT"},
        {"add by rebuilding", WriteArchive, add({"NEW.TXT", "b.srb"}), "T.DAT"},
        {"remove", WriteArchive,
         [](const fs::path& f) {
             RemoveEntries(f / "T.DAT", ReadArchiveDirectory(f / "T.DAT"), std::vector<std::int32_t>{0, 3});
         },
         "T.DAT"},
        {"rename", WriteArchive,
         [](const fs::path& f) {
             RenameEntry(f / "T.DAT", ReadArchiveDirectory(f / "T.DAT"), RecordStart(2) + kNameField,
                         "Z.SRB");
         },
         "T.DAT", true, noCreate},
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
             ExportAsBmp(listing, f / "P.DAT", PictureEntries(listing), f / "out");
         },
         "P.DAT"},
        // As the window runs it: from the archive loaded whole.
        {"export as JPEG", WritePictures,
         [](const fs::path& f) {
             const ArchiveModel model = LoadArchive(f / "P.DAT");
             ExportAsJpeg(model, PictureEntries(model), f / "out", JpegQuality::Good);
         },
         "P.DAT"},
    };
}

} // namespace

TEST(FaultInjection, EveryFailingStepOfEveryWritingCommandLeavesOldOrCompleteFilesOnly) {
    for (const Scenario& scenario : Scenarios()) {
        // What a run without failures gives.
        Tree done;
        {
            TempFolder folder;
            scenario.setup(folder.path());
            scenario.run(folder.path());
            done = Snapshot(folder.path());
        }
        std::set<FileStep> failed;
        for (const Step& step : kSteps) {
            for (int nth = 1;; ++nth) {
                SCOPED_TRACE(std::string(scenario.name) + ", " + step.name + " number " +
                             std::to_string(nth));
                TempFolder folder;
                scenario.setup(folder.path());
                const Tree before = Snapshot(folder.path());
                std::string message;
                int number = 0;
                bool fired = false;
                {
                    FailNth fault(step.step, nth, step.error);
                    try {
                        scenario.run(folder.path());
                    } catch (const KelvotError& e) {
                        message = e.what();
                        number = e.number();
                    }
                    fired = fault.Fired();
                }
                const Tree after = Snapshot(folder.path());
                if (!fired) {
                    EXPECT_EQ(message, "");
                    EXPECT_EQ(after, done);
                    break;
                }
                failed.insert(step.step);
                EXPECT_EQ(number, step.error);
                EXPECT_NE(message.find(std::strerror(step.error)), std::string::npos) << message;
                const auto archive = In(after, scenario.target);
                if (!(scenario.partialAllowed && archive == In(done, scenario.target))) {
                    EXPECT_EQ(archive, In(before, scenario.target));
                }
                for (const auto& [path, bytes] : before)
                    EXPECT_TRUE(after.contains(path)) << path << " is gone";
                for (const auto& [path, bytes] : after)
                    EXPECT_TRUE(bytes == In(before, path) || bytes == In(done, path))
                        << path << " is neither as it was nor as a whole run writes it";
            }
        }
        EXPECT_EQ(failed, scenario.steps) << scenario.name;
    }
}
