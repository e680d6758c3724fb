// Every command of kelvot-cli on every archive of the hostile set: each ends by itself within its time with
// status 0 and a sound result, or status 1 and a clear message; none is ended by a signal, writes outside the
// folder it was given (or anywhere but the archive, for the edits), or changes the archive when it fails.

#include "archive/archive_model.h"
#include "archive/codepage.h"
#include "archive/dat_format.h"
#include "archive/error.h"
#include "archive/file_system.h"
#include "archive/verify.h"
#include "editing/packing.h"
#include "hostile_archives.h"
#include "loaded_archive.h"
#include "run_cli.h"

#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>

using namespace kelvot;
using namespace kelvot::testkit;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using nlohmann::json;

namespace {

// Built once per process: every test of the set draws on it.
const std::vector<HostileArchive>& Set() {
    static const std::vector<HostileArchive> set = HostileArchives();
    return set;
}

// No file written may pass 256 MiB, whatever an archive claims.
const CliLimits kLimits{120, kAddressSpace, std::size_t{256} << 20};

// One line or more, each "kelvot-cli: <sentence>", none a library's own exception text.
bool ClearMessage(const std::string& err) {
    std::istringstream lines(err);
    for (std::string line; std::getline(lines, line);)
        for (const char* internal : {"std::", "bad_alloc", "basic_string", "_M_", "vector", "json.exception"})
            if (!line.starts_with("kelvot-cli: ") || line.size() < 20 || line.find(internal) != line.npos)
                return false;
    return !err.empty() && err.back() == '\n';
}

std::optional<ArchiveModel> Load(const Bytes& bytes) try {
    return LoadedArchive(bytes).model();
} catch (const KelvotError&) {
    return std::nullopt;
}

// What an entry reads of a file's bytes, cut to the file.
Bytes Slice(const Bytes& file, FileRange range) {
    const auto begin = file.begin() + range.Offset;
    return Bytes(begin, begin + range.Length);
}

class HostileCli : public ::testing::TestWithParam<std::size_t> {
  protected:
    // Runs one command on a fresh copy of the archive and checks what every command must hold.
    CliResult Run(const Args& args) {
        SCOPED_TRACE(hostile.name + ": " + testing::PrintToString(args));
        WriteFile(archive, hostile.bytes);
        fs::remove_all(dest);
        FileTree before = FilesUnder(root.path(), dest);
        const CliResult r = RunCli(args, kLimits);
        EXPECT_TRUE(r.signal == 0 && (r.status == 0 || r.status == 1))
            << r.status << ", signal " << r.signal << " (SIGALRM: out of time): " << r.err;
        // verify reports the problems it found on stdout; every other failure is a message.
        EXPECT_TRUE(r.status == 0 || (args[0] == "verify" && r.err.empty() && !r.out.empty()) ||
                    ClearMessage(r.err))
            << r.err;
        FileTree after = FilesUnder(root.path(), dest);
        if (r.status == 0 && (args[0] == "add" || args[0] == "remove" || args[0] == "rename"))
            before.erase("ARCH.DAT"), after.erase("ARCH.DAT");
        EXPECT_EQ(after, before) << "a file outside the folder given was written, changed or removed";
        EXPECT_FALSE(fs::exists(kAbsoluteEscape));
        return r;
    }

    // Names of entries to give the commands, as text: the first, the last and the first picture.
    Args Names() const {
        if (!model) return {"X.TXT"};
        const auto& types = model->Directory.EntryTypes;
        const long picture = (std::ranges::find_if(types, IsPicture) - types.begin()) % model->EntryCount;
        Args names;
        for (const long i : {0L, model->EntryCount - 1L, picture})
            if (const auto name = Cp1252ToUtf8(model->Directory.EntryNames[i]);
                !name.empty() && !std::ranges::count(names, name))
                names.push_back(name);
        return names;
    }

    // After a successful edit: every entry but `gone` reads what it read before, or still lies outside the
    // file if it did, at its old index (one lower past `gone` when that was removed). A rename writes the
    // name field of entry `renamed` in place, so an entry whose data covers that field reads the new name.
    void ExpectKept(std::int32_t gone, bool removed, std::int32_t renamed = -1) {
        ASSERT_TRUE(model && (gone >= 0 || !removed));
        const std::int64_t written = renamed < 0 ? -1 : RecordStart(renamed) + kNameField;
        const ArchiveModel now = LoadArchive(archive);
        const Bytes nowBytes = ReadFile(archive);
        EXPECT_LE(VerifyArchiveFile(archive).size(), problems);
        for (std::int32_t i = 0; i < model->EntryCount; ++i) {
            if (i == gone) continue;
            const std::int32_t j = removed && i > gone ? i - 1 : i;
            ASSERT_LT(j, now.EntryCount);
            EXPECT_EQ(model->EntryInsideFile(i), now.EntryInsideFile(j)) << "entry " << i;
            const std::int64_t offset = model->Directory.EntryOffsets[i];
            const bool covers = written >= offset && written < offset + model->Directory.EntrySizes[i];
            EXPECT_TRUE(covers || !model->EntryInsideFile(i) || !now.EntryInsideFile(j) ||
                        Slice(hostile.bytes, model->EntryRange(i)) == Slice(nowBytes, now.EntryRange(j)))
                << "entry " << i << " -> " << j;
        }
    }

    const HostileArchive& hostile = Set()[GetParam()];
    const std::optional<ArchiveModel> model = Load(hostile.bytes);
    const std::size_t problems = VerifyArchive(hostile.bytes, std::int64_t(hostile.bytes.size())).size();
    TempFolder root;
    const fs::path archive = root / "ARCH.DAT";
    const fs::path dest = root / "a" / "b"; // entries climbing two folders up land in the root
};

} // namespace

TEST_P(HostileCli, ReadingCommandsWriteInsideTheFolderOnly) {
    const std::string a = archive.string(), d = dest.string();
    // One line per entry, whatever the names hold.
    const CliResult text = Run({"list", a}), list = Run({"list", a, "--json"});
    EXPECT_EQ(text.status == 0 && list.status == 0, model.has_value());
    if (model && list.status == 0) {
        EXPECT_EQ(std::ranges::count(text.out, '\n'), model->EntryCount);
        EXPECT_FALSE(std::ranges::any_of(text.out, [](char c) { return c > 0 && c < 0x20 && c != '\n'; }));
        EXPECT_EQ(json::parse(list.out).size(), std::size_t(model->EntryCount));
    }
    EXPECT_EQ(Run({"verify", a}).status, problems ? 1 : 0);
    EXPECT_EQ(json::parse(Run({"verify", a, "--json"}).out).at("ok"), !problems);
    for (const std::string& name : Names()) {
        const CliResult info = Run({"info", a, name, "--json"});
        EXPECT_EQ(info.status == 0, model.has_value());
        EXPECT_TRUE(info.status != 0 || json::parse(info.out).at("panels").size() == 7u);
        Run({"extract", a, d, name});
    }
    for (const Args& args :
         {Args{"extract", a, d}, {"export", a, d, "--format", "bmp"}, {"export", a, d, "--format", "jpg"}})
        Run(args);
}

TEST_P(HostileCli, EditsKeepWhatEveryEntryReadsOrChangeNothing) {
    const std::string a = archive.string(), name = Names()[0], file = (root / "in" / name).string();
    const auto cp1252 = Utf8ToCp1252(name); // the entry the name stands for
    const std::int32_t named = model && cp1252 ? model->FindEntry(*cp1252).value_or(-1) : -1;
    fs::create_directory(root / "in");
    WriteFile(root / "in/NEW.TXT", Bytes(300, 'n'));
    if (Run({"add", a, (root / "in/NEW.TXT").string()}).status == 0) ExpectKept(-1, false);
    // A file of the entry's name takes its place in a rebuilt archive.
    if (named >= 0 && PackableName(name)) {
        WriteFile(file, Bytes(10, 'r'));
        if (Run({"add", a, file}).status == 0) ExpectKept(named, false);
        fs::remove(file);
    }
    if (Run({"remove", a, name}).status == 0) ExpectKept(named, true);
    if (Run({"rename", a, name, "RENAMED.TXT"}).status == 0) ExpectKept(-1, false, named);
}

INSTANTIATE_TEST_SUITE_P(Set, HostileCli, ::testing::Range<std::size_t>(0, Set().size()));
