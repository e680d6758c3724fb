// Every command of kelvot-cli on every archive of the hostile set: each ends by itself within its time
// with status 0 and a sound result, or status 1 and a clear message; none is ended by a signal, writes
// outside the folder it was given (or anywhere but the archive, for the edits), or changes the archive
// when it fails. Without the sanitizers the program gets 1 GiB of address space, so an allocation sized
// by a number read from the file without a check fails loudly.

#include "archive/archive_model.h"
#include "archive/codepage.h"
#include "archive/dat_format.h"
#include "archive/error.h"
#include "archive/file_system.h"
#include "archive/verify.h"
#include "editing/packing.h"
#include "hostile_archives.h"
#include "run_cli.h"

#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>

using namespace kelvot;
using namespace kelvot::testkit;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using nlohmann::json;

namespace {

// Built once per process: every test of the set and every test name draws on it.
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

// A BMP file whose header gives its length, or a JPEG file from its start marker to its end marker.
bool IsImageFile(const Bytes& file) {
    if (file.size() >= 54 && file[0] == 'B' && file[1] == 'M') return ReadU32(file, 2) == file.size();
    return file.size() >= 4 && file[0] == 0xFF && file[1] == 0xD8 && file[file.size() - 2] == 0xFF &&
           file.back() == 0xD9;
}

std::optional<ArchiveModel> Load(const Bytes& bytes) {
    try {
        return LoadArchive(bytes);
    } catch (const KelvotError&) {
        return std::nullopt;
    }
}

class HostileCli : public ::testing::TestWithParam<std::size_t> {
  protected:
    // Runs one command on a fresh copy of the archive and checks what every command must hold.
    CliResult Run(const Args& args) {
        SCOPED_TRACE(testing::PrintToString(args));
        WriteFile(archive, hostile.bytes);
        fs::remove_all(dest);
        FileTree before = FilesUnder(root.path(), dest);
        const CliResult r = RunCli(args, kLimits);
        EXPECT_TRUE(r.signal == 0 && (r.status == 0 || r.status == 1))
            << r.status << ", signal " << r.signal << " (SIGALRM: out of time): " << r.err;
        // verify reports the problems it found on stdout; every other failure is a message.
        const bool reported = args[0] == "verify" && r.err.empty() && !r.out.empty();
        EXPECT_TRUE(r.status == 0 || reported || ClearMessage(r.err)) << r.err;
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
        const auto& dir = model->Directory;
        const auto picture = std::find_if(dir.EntryTypes.begin(), dir.EntryTypes.end(), IsPicture);
        Args names;
        for (const auto i :
             {0L, model->EntryCount - 1L, (picture - dir.EntryTypes.begin()) % model->EntryCount})
            if (const auto name = Cp1252ToUtf8(dir.EntryNames[i]);
                !name.empty() && !std::ranges::count(names, name))
                names.push_back(name);
        return names;
    }

    // After a successful edit: every entry but `gone` reads what it read before, or still lies outside the
    // file if it did, at its old index (one lower past `gone` when that was removed). A rename writes a name
    // field in place, so an entry whose data covers that field (`written`) reads the new name.
    void ExpectKept(std::int32_t gone, bool removed, std::int64_t written = -1) {
        ASSERT_TRUE(model.has_value());
        const ArchiveModel now = LoadArchive(archive);
        EXPECT_LE(VerifyArchiveFile(archive).size(), problems);
        for (std::int32_t i = 0; i < model->EntryCount; ++i) {
            if (i == gone) continue;
            const std::int32_t j = removed && i > gone ? i - 1 : i;
            ASSERT_LT(j, now.EntryCount);
            EXPECT_EQ(model->EntryInsideFile(i), now.EntryInsideFile(j)) << "entry " << i;
            const std::int64_t offset = model->Directory.EntryOffsets[i];
            const bool renamed = written >= offset && written < offset + model->Directory.EntrySizes[i];
            EXPECT_TRUE(renamed || !model->EntryInsideFile(i) || !now.EntryInsideFile(j) ||
                        std::ranges::equal(model->EntryBytes(i), now.EntryBytes(j)))
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

TEST_P(HostileCli, ListInfoAndVerify) {
    const std::string a = archive.string();
    EXPECT_EQ(Run({"list", a, "--filter", "images"}).status == 0, model.has_value());
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
    }
}

TEST_P(HostileCli, ExtractAndExportWriteWholeFilesInsideTheFolderOnly) {
    const std::string a = archive.string(), d = dest.string();
    std::multimap<std::string, std::int32_t> entries; // file name -> the entries that would write it
    for (std::int32_t i = 0; model && i < model->EntryCount; ++i)
        entries.emplace(Cp1252ToUtf8(model->Directory.EntryNames[i]), i);
    Args names = Names();
    names.insert(names.begin(), ""); // every entry, then single ones by name
    for (const std::string& name : names) {
        Run(name.empty() ? Args{"extract", a, d} : Args{"extract", a, d, name});
        // Each file holds exactly the bytes of some entry of its name.
        for (const auto& [path, bytes] : fs::exists(dest) ? FilesUnder(dest) : FileTree{}) {
            bool matches = false;
            for (auto [it, last] = entries.equal_range(path.string()); it != last && !matches; ++it)
                matches = model->EntryInsideFile(it->second) &&
                          std::ranges::equal(model->EntryBytes(it->second), bytes);
            EXPECT_TRUE(matches) << path;
        }
    }
    for (const char* format : {"bmp", "jpg"}) {
        Run({"export", a, d, "--format", format});
        for (const auto& [path, bytes] : fs::exists(dest) ? FilesUnder(dest) : FileTree{})
            EXPECT_TRUE(IsImageFile(bytes)) << path;
    }
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
    if (Run({"remove", a, name}).status == 0) {
        ASSERT_GE(named, 0);
        ExpectKept(named, true);
    }
    if (Run({"rename", a, name, "RENAMED.TXT"}).status == 0) {
        ASSERT_GE(named, 0);
        ExpectKept(-1, false, RecordStart(named) + kNameField);
        EXPECT_EQ(ReadWholeFile(archive).size(), hostile.bytes.size());
    }
}

INSTANTIATE_TEST_SUITE_P(Set, HostileCli, ::testing::Range<std::size_t>(0, Set().size()),
                         [](const auto& info) {
                             std::string name = Set()[info.param].name; // "count-0.dat" gives count0dat
                             std::erase_if(name, [](unsigned char c) { return !std::isalnum(c); });
                             return name;
                         });
