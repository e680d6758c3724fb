#include "archive/extract.h"

#include "archive/codepage.h"
#include "archive/dat_format.h"
#include "archive/error.h"
#include "archive/file_ops.h"
#include "archive/folder_writer.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <numeric>
#include <sys/statvfs.h>

namespace kelvot {

namespace fs = std::filesystem;

namespace {

std::string Quoted(std::string_view cp1252Name) {
    return "\"" + PrintableName(cp1252Name) + "\"";
}

std::string NotExtracted(std::int32_t index, std::string_view name, const std::string& why) {
    return Quoted(name) + " (entry " + std::to_string(index) + ") was not extracted: " + why;
}

std::string Overwritten(std::int32_t earlier, std::string_view earlierName, std::int32_t later,
                        std::string_view laterName) {
    return Quoted(earlierName) + " (entry " + std::to_string(earlier) + ") was overwritten by " +
           Quoted(laterName) + " (entry " + std::to_string(later) +
           "): file names that differ only in letter case are written as one file.";
}

} // namespace

void RequireFreeSpace(const fs::path& folder, std::int64_t needed) {
    struct statvfs fsInfo {};
    if (::statvfs(folder.c_str(), &fsInfo) != 0 || fsInfo.f_blocks == 0) return; // nothing to go by
    const auto available = static_cast<std::int64_t>(
        std::min<unsigned long long>(fsInfo.f_bavail * static_cast<unsigned long long>(fsInfo.f_frsize),
                                     std::numeric_limits<std::int64_t>::max()));
    if (needed > available)
        throw KelvotError(ENOSPC, "The entries take " + std::to_string(needed) + " bytes, but " +
                                      folder.string() + " has only " + std::to_string(available) +
                                      " bytes free. Nothing was written.");
}

std::vector<std::int32_t> AllEntries(const ArchiveModel& model) {
    std::vector<std::int32_t> indices(static_cast<std::size_t>(model.EntryCount));
    std::iota(indices.begin(), indices.end(), 0);
    return indices;
}

std::vector<std::int32_t> EntriesNamed(const ArchiveModel& model, const std::vector<std::string>& names) {
    std::vector<std::int32_t> indices;
    std::vector<std::string> missing;
    for (const std::string& text : names) {
        if (const auto index = model.FindEntryByText(text))
            indices.push_back(*index);
        else
            missing.push_back(text);
    }
    if (missing.size() == 1) model.EntryNamed(missing.front()); // throws, with the one-name message
    if (missing.size() > 1) {
        std::string list;
        for (const std::string& text : missing)
            list += (list.empty() ? "\"" : ", \"") + text + "\"";
        throw KelvotError(kNoSuchEntry, "No entries are named " + list + ".");
    }
    return indices;
}

OutputResult ExtractEntries(const ArchiveModel& model, const FileHandle& archive,
                            const std::vector<std::int32_t>& indices, const fs::path& folder,
                            const Progress& progress) {
    const std::int64_t fileLength = FileSize(archive);
    const DirectoryTable& dir = model.Directory;
    auto offsetOf = [&](std::int32_t i) { return static_cast<std::uint32_t>(dir.EntryOffsets[i]); };
    auto sizeOf = [&](std::int32_t i) { return static_cast<std::uint32_t>(dir.EntrySizes[i]); };
    auto writable = [&](std::int32_t i) {
        return IsSafeFileName(dir.EntryNames[i]) && DataInsideFile(offsetOf(i), sizeOf(i), fileLength);
    };

    // Entries may share their bytes, so a small archive can stand for far more data than it holds: make
    // sure it fits before writing any of it.
    std::vector<bool> counted(dir.EntryNames.size());
    std::int64_t needed = 0;
    for (const std::int32_t i : indices)
        if (!counted[i] && writable(i)) counted[i] = true, needed += sizeOf(i);
    RequireFreeSpace(folder, needed);

    FolderWriter writer(folder, IdentityOf(archive));
    OutputResult result;
    const auto total = static_cast<std::int32_t>(indices.size());
    for (std::int32_t k = 0; k < total; ++k) {
        const std::int32_t i = indices[k];
        const std::string& name = dir.EntryNames[i];
        if (!IsSafeFileName(name)) {
            result.Problems.push_back({i, NotExtracted(i, name, "its name cannot be used as a file name.")});
        } else if (!writable(i)) {
            result.Problems.push_back(
                {i, NotExtracted(i, name,
                                 "its data (offset " + std::to_string(offsetOf(i)) + ", size " +
                                     std::to_string(sizeOf(i)) + ") lies outside the archive file (" +
                                     std::to_string(fileLength) + " bytes).")});
        } else {
            try {
                const WrittenFile written = writer.Write(name, i, [&](const FileHandle& out) {
                    CopyBytes(archive, offsetOf(i), sizeOf(i), out, nullptr);
                });
                result.Written.push_back(written.Path);
                if (const auto earlier = written.Displaced)
                    result.Problems.push_back(
                        {*earlier, Overwritten(*earlier, dir.EntryNames[*earlier], i, name)});
            } catch (const KelvotError& e) {
                if (e.number() != kWouldReplaceSource) throw;
                result.Problems.push_back(
                    {i, NotExtracted(i, name, "its file would replace the archive being read.")});
            }
        }
        if (progress) progress(k + 1, total);
    }
    return result;
}

} // namespace kelvot
