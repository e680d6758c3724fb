// create, add, remove and rename: the window's editing commands, with its checks and messages.

#include "archive/codepage.h"
#include "archive/dat_format.h"
#include "archive/error.h"
#include "cli/commands.h"
#include "cli/progress.h"
#include "editing/archive_edit.h"
#include "editing/name_checks.h"
#include "editing/packing.h"
#include "editing/picture_import.h"
#include "export/picture_export.h"

#include <cerrno>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace kelvot::cli {

namespace fs = std::filesystem;

namespace {

// A window message on one line: each run of line breaks becomes one space.
std::string OneLine(const std::string& message) {
    std::string line;
    for (const char c : message) {
        if (c != '\n')
            line += c;
        else if (line.empty() || line.back() != ' ')
            line += ' ';
    }
    return line;
}

// A name check that did not accept the name ends the command with its message.
std::string AcceptedOrThrow(const NameCheck& check, const std::string& quietText) {
    if (check.Verdict == NameVerdict::Refused) throw KelvotError(EINVAL, OneLine(check.Message));
    if (check.Verdict == NameVerdict::EndQuietly) throw KelvotError(EINVAL, quietText);
    return check.Name;
}

void PrintResult(const fs::path& archive, std::int32_t count, std::int64_t size, const std::string& what,
                 std::int64_t otherLinks) {
    std::cout << archive.string() << ": " << what << ", " << count << (count == 1 ? " entry, " : " entries, ")
              << size << " bytes\n";
    if (otherLinks > 0)
        std::cerr << "kelvot-cli: " << archive.string() << " had " << otherLinks << " other hard link"
                  << (otherLinks == 1 ? "" : "s") << "; "
                  << (otherLinks == 1 ? "it still holds" : "they still hold") << " the old contents.\n";
}

void ReportLeftOut(const std::vector<LeftOutFile>& files, const char* what) {
    for (const LeftOutFile& file : files)
        std::cerr << "kelvot-cli: " << file.Describe(what) << '\n';
}

void AddCreate(CLI::App& app, int& status) {
    auto* cmd = app.add_subcommand("create", "Pack the files of a folder into a new DAT file in that folder");
    auto folder = std::make_shared<std::string>();
    auto name = std::make_shared<std::string>();
    cmd->add_option("FOLDER", *folder, "The folder whose files are packed")->required();
    cmd->add_option("NAME", *name, "The new DAT file's name, at most 12 characters ending in .dat")
        ->required();
    cmd->callback([=, &status] {
        const std::string accepted = AcceptedOrThrow(
            CheckNewArchiveName(*name), "No DAT file was created: a name before .dat is needed.");
        TerminalProgress shown("create");
        const CreateResult result = CreateArchive(*folder, accepted, shown.Bytes());
        shown.Done();
        ReportLeftOut(result.LeftOut, "packed");
        if (!result.Created)
            throw KelvotError(ENOENT,
                              "No DAT file was created: " + *folder + " holds no file that can be packed.");
        PrintResult(result.Target, result.EntryCount, result.FileSize, "created", result.OtherLinks);
        status = 0;
    });
}

void AddAdd(CLI::App& app, int& status) {
    auto* cmd = app.add_subcommand("add", "Add files to a DAT file; a file whose name is in it already "
                                          "replaces that entry's contents");
    auto archive = std::make_shared<std::string>();
    auto files = std::make_shared<std::vector<std::string>>();
    cmd->add_option("ARCHIVE", *archive, "The DAT file")->required();
    cmd->add_option("FILE", *files, "The files to add")->required();
    cmd->callback([=, &status] {
        const std::vector<fs::path> paths(files->begin(), files->end());
        const PackCandidates candidates = SelectAddCandidates(paths);
        ReportLeftOut(candidates.LeftOut, "added");
        if (candidates.Packable.empty())
            throw KelvotError(EINVAL, "Nothing was added: none of the files can be packed.");
        const EditLock lock(*archive);
        TerminalProgress shown("add");
        const EditResult result =
            AddFiles(lock, ReadArchiveDirectory(lock), candidates.Packable, shown.Bytes());
        shown.Done();
        PrintResult(*archive, result.EntryCount, result.FileSize, result.Repacked ? "rebuilt" : "appended to",
                    result.OtherLinks);
        status = 0;
    });
}

void AddRemove(CLI::App& app, int& status) {
    auto* cmd = app.add_subcommand("remove", "Remove entries from a DAT file (not every entry)");
    auto archive = std::make_shared<std::string>();
    auto names = std::make_shared<std::vector<std::string>>();
    cmd->add_option("ARCHIVE", *archive, "The DAT file")->required();
    cmd->add_option("NAME", *names, "The entries to remove (the first of each name, letter case ignored)")
        ->required();
    cmd->callback([=, &status] {
        const EditLock lock(*archive);
        const ArchiveModel dir = ReadArchiveDirectory(lock);
        std::vector<std::int32_t> indices;
        for (const std::string& name : *names)
            indices.push_back(dir.EntryNamed(name));
        TerminalProgress shown("remove");
        const EditResult result = RemoveEntries(lock, dir, indices, shown.Bytes());
        shown.Done();
        PrintResult(*archive, result.EntryCount, result.FileSize, "rebuilt", result.OtherLinks);
        status = 0;
    });
}

void AddRename(CLI::App& app, int& status) {
    auto* cmd = app.add_subcommand("rename", "Rename an entry of a DAT file in place");
    auto archive = std::make_shared<std::string>();
    auto oldName = std::make_shared<std::string>();
    auto newName = std::make_shared<std::string>();
    cmd->add_option("ARCHIVE", *archive, "The DAT file")->required();
    cmd->add_option("OLD", *oldName, "The entry (the first of that name, letter case ignored)")->required();
    cmd->add_option("NEW", *newName, "Its new name")->required();
    cmd->callback([=, &status] {
        const EditLock lock(*archive);
        const ArchiveModel dir = ReadArchiveDirectory(lock);
        const std::int32_t index = dir.EntryNamed(*oldName);
        // The window checks against its list; from the shell every entry is listed.
        const std::string accepted =
            AcceptedOrThrow(CheckNewEntryName(*newName, ListedNames(dir, TypeFilter::All)),
                            "No entry was renamed: no new name was given.");
        RenameEntry(lock, dir, RecordStart(index) + kNameField, accepted);
        std::cout << *archive << ": renamed "
                  << PrintableName(dir.Directory.EntryNames[static_cast<std::size_t>(index)]) << " to "
                  << *newName << '\n';
        status = 0;
    });
}

void AddImport(CLI::App& app, int& status) {
    auto* cmd =
        app.add_subcommand("import", "Store a picture file (PNG, BMP, TGA, ...) into a picture entry, "
                                     "in the entry's own format");
    auto archive = std::make_shared<std::string>();
    auto name = std::make_shared<std::string>();
    auto file = std::make_shared<std::string>();
    auto maxMegapixels = std::make_shared<std::int64_t>(kDefaultMaxMegapixels);
    cmd->add_option("ARCHIVE", *archive, "The DAT file")->required();
    cmd->add_option("NAME", *name, "The picture entry (the first of that name, letter case ignored)")
        ->required();
    cmd->add_option("FILE", *file, "The picture file, of the entry's width and height")->required();
    cmd->add_option("--max-megapixels", *maxMegapixels,
                    "The largest picture to decode, in millions of pixels (default 256)")
        ->check(CLI::PositiveNumber);
    cmd->callback([=, &status] {
        const EditLock lock(*archive);
        const ArchiveModel dir = ReadArchiveDirectory(lock);
        const std::int32_t index = dir.EntryNamed(*name);
        TerminalProgress shown("import");
        const ImportResult result = ImportPicture(lock, dir, index, *file, *maxMegapixels, shown.Bytes());
        shown.Done();
        std::cout << *archive << ": imported " << *file << " into " << *name;
        if (result.ReducedFrom > 0) std::cout << ", reduced " << result.ReducedFrom << " colours to 16";
        std::cout << '\n';
        status = 0;
    });
}

void AddReplace(CLI::App& app, int& status) {
    auto* cmd = app.add_subcommand("replace", "Give an entry a file's bytes, keeping its name and place");
    auto archive = std::make_shared<std::string>();
    auto name = std::make_shared<std::string>();
    auto file = std::make_shared<std::string>();
    cmd->add_option("ARCHIVE", *archive, "The DAT file")->required();
    cmd->add_option("NAME", *name, "The entry (the first of that name, letter case ignored)")->required();
    cmd->add_option("FILE", *file, "The file whose bytes the entry takes")->required();
    cmd->callback([=, &status] {
        const EditLock lock(*archive);
        const ArchiveModel dir = ReadArchiveDirectory(lock);
        TerminalProgress shown("replace");
        const EditResult result = ReplaceEntry(lock, dir, dir.EntryNamed(*name), *file, shown.Bytes());
        shown.Done();
        PrintResult(*archive, result.EntryCount, result.FileSize, "rebuilt", result.OtherLinks);
        status = 0;
    });
}

} // namespace

void AddEditCommands(CLI::App& app, int& status) {
    AddCreate(app, status);
    AddAdd(app, status);
    AddRemove(app, status);
    AddRename(app, status);
    AddImport(app, status);
    AddReplace(app, status);
}

} // namespace kelvot::cli
