// Every file operation of every editing command made to fail in turn: the command must report it, and
// leave the archive byte for byte as it was and no temporary file behind.

#include "archive/dat_format.h"
#include "archive/error.h"
#include "archive/file_system.h"
#include "archive_builder.h"
#include "edit_support.h"
#include "editing/archive_edit.h"
#include "archive/file_ops.h"
#include "editing/packing.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>

using namespace kelvot;
using namespace kelvot::testkit;
namespace fs = std::filesystem;

namespace {

// Makes the nth call of one step fail with an error number, for as long as it lives.
class FailNth {
  public:
    FailNth(FileStep step, int nth, int error) {
        previous_ = SetFileFaultHook([=, this](FileStep s, const fs::path&) {
            if (s != step) return 0;
            return ++calls_ == nth ? error : 0;
        });
        nth_ = nth;
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

struct Scenario {
    const char* name;
    std::function<void(const fs::path& folder)> setup; // writes the files the command starts from
    std::function<void(const fs::path& folder)> run;
    fs::path target;             // relative to the folder
    bool partialAllowed = false; // rename: the old name or the new one
};

std::optional<std::vector<std::uint8_t>> Contents(const fs::path& path) {
    if (!fs::exists(path)) return std::nullopt;
    return ReadBytes(path);
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
         "T.DAT", true},
    };
}

} // namespace

TEST(FaultInjection, EveryFailingStepLeavesTheArchiveAsItWas) {
    for (const Scenario& scenario : Scenarios()) {
        // What a run without failures gives.
        std::optional<std::vector<std::uint8_t>> done;
        {
            TempFolder folder;
            scenario.setup(folder.path());
            scenario.run(folder.path());
            done = Contents(folder / scenario.target);
        }
        int failures = 0;
        for (const Step& step : kSteps) {
            for (int nth = 1;; ++nth) {
                SCOPED_TRACE(std::string(scenario.name) + ", " + step.name + " number " +
                             std::to_string(nth));
                TempFolder folder;
                scenario.setup(folder.path());
                const auto before = Contents(folder / scenario.target);
                const auto names = FolderNames(folder.path());
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
                if (!fired) {
                    EXPECT_EQ(message, "");
                    EXPECT_EQ(Contents(folder / scenario.target), done);
                    break;
                }
                ++failures;
                EXPECT_EQ(number, step.error);
                EXPECT_NE(message.find(std::strerror(step.error)), std::string::npos) << message;
                const auto after = Contents(folder / scenario.target);
                if (scenario.partialAllowed && after == done) continue;
                EXPECT_EQ(after, before);
                EXPECT_EQ(FolderNames(folder.path()), names);
            }
        }
        // Each command opens, creates or reads, writes and flushes something.
        EXPECT_GE(failures, 3) << scenario.name;
    }
}
