// create, add, remove and rename: the window's editing commands, with its checks and messages.

#include "archive/codepage.h"
#include "archive/dat_format.h"
#include "archive/error.h"
#include "cli/commands.h"
#include "cli/progress.h"
#include "editing/archive_edit.h"
#include "editing/name_checks.h"
#include "editing/packing.h"

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

std::int32_t EntryNamed(const ArchiveDirectory& dir, const std::string& text) {
    const auto name = Utf8ToCp1252(text);
    const auto index = name ? dir.FindEntry(*name) : std::nullopt;
    if (!index) throw KelvotError(EINVAL, "no entry is named " + text + ".");
    return *index;
}

void PrintResult(const fs::path& archive, std::int32_t count, std::int64_t size, const std::string& what) {
    std::cout << archive.string() << ": " << what << ", " << count << (count == 1 ? " entry, " : " entries, ")
              << size << " bytes\n";
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
        if (!result.Created)
            throw KelvotError(ENOENT,
                              "No DAT file was created: " + *folder + " holds no file that can be packed.");
        PrintResult(result.Target, result.EntryCount, result.FileSize, "created");
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
        const ArchiveDirectory dir = ReadArchiveDirectory(*archive);
        const std::vector<fs::path> paths(files->begin(), files->end());
        const AddCandidates candidates = SelectAddCandidates(paths);
        for (const fs::path& file : candidates.LeftOut)
            std::cerr << "kelvot-cli: " << file.string()
                      << " is not added: a name of at most 12 Windows-1252 characters with an extension of 2 "
                         "or 3 characters, not dat, is needed.\n";
        if (candidates.Packable.empty())
            throw KelvotError(EINVAL, "Nothing was added: none of the files can be packed.");
        TerminalProgress shown("add");
        const EditResult result = AddFiles(*archive, dir, candidates.Packable, shown.Bytes());
        shown.Done();
        PrintResult(*archive, result.EntryCount, result.FileSize,
                    result.Repacked ? "rebuilt" : "appended to");
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
        const ArchiveDirectory dir = ReadArchiveDirectory(*archive);
        std::vector<std::int32_t> indices;
        for (const std::string& name : *names)
            indices.push_back(EntryNamed(dir, name));
        TerminalProgress shown("remove");
        const EditResult result = RemoveEntries(*archive, dir, indices, shown.Bytes());
        shown.Done();
        PrintResult(*archive, result.EntryCount, result.FileSize, "rebuilt");
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
        const ArchiveDirectory dir = ReadArchiveDirectory(*archive);
        const std::int32_t index = EntryNamed(dir, *oldName);
        // The window checks against its list; from the shell every entry is listed.
        const std::string accepted = AcceptedOrThrow(CheckNewEntryName(*newName, dir.SortedNames()),
                                                     "No entry was renamed: no new name was given.");
        RenameEntry(*archive, dir, RecordStart(index) + kNameField, accepted);
        std::cout << *archive << ": renamed " << Cp1252ToUtf8(dir.Names[static_cast<std::size_t>(index)])
                  << " to " << *newName << '\n';
        status = 0;
    });
}

} // namespace

void AddEditCommands(CLI::App& app, int& status) {
    AddCreate(app, status);
    AddAdd(app, status);
    AddRemove(app, status);
    AddRename(app, status);
}

} // namespace kelvot::cli
