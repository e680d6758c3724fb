#include "archive/extract.h"

#include "archive/codepage.h"
#include "archive/dat_format.h"
#include "archive/error.h"
#include "archive/file_ops.h"
#include "archive/folder_writer.h"

#include <numeric>

namespace kelvot {

namespace fs = std::filesystem;

namespace {

std::string Quoted(std::string_view cp1252Name) {
    return "\"" + Cp1252ToUtf8(cp1252Name) + "\"";
}

std::string NotExtracted(std::int32_t index, std::string_view name, const std::string& why) {
    return Quoted(name) + " (entry " + std::to_string(index) + ") was not extracted: " + why;
}

} // namespace

std::vector<std::int32_t> AllEntries(const ArchiveListing& model) {
    std::vector<std::int32_t> indices(static_cast<std::size_t>(model.EntryCount));
    std::iota(indices.begin(), indices.end(), 0);
    return indices;
}

std::vector<std::int32_t> EntriesNamed(const ArchiveListing& model, const std::vector<std::string>& names) {
    std::vector<std::int32_t> indices;
    std::string missing;
    int missingCount = 0;
    for (const std::string& text : names) {
        const auto name = Utf8ToCp1252(text); // text Windows-1252 cannot write names no entry
        const auto index = name ? model.FindEntry(*name) : std::nullopt;
        if (index) {
            indices.push_back(*index);
        } else {
            missing += (missingCount++ == 0 ? "" : ", ") + ("\"" + text + "\"");
        }
    }
    if (missingCount == 1) throw KelvotError(kNoSuchEntry, "No entry is named " + missing + ".");
    if (missingCount > 1) throw KelvotError(kNoSuchEntry, "No entries are named " + missing + ".");
    return indices;
}

OutputResult ExtractEntries(const ArchiveListing& model, const fs::path& archiveFile,
                            const std::vector<std::int32_t>& indices, const fs::path& folder,
                            const Progress& progress) {
    // The bytes come from the file on disk, opened once for the whole run.
    const FileHandle archive = OpenForReading(archiveFile);
    const std::int64_t fileLength = FileSize(archive);

    const DirectoryTable& dir = model.Directory;
    FolderWriter writer(folder);
    OutputResult result;
    const auto total = static_cast<std::int32_t>(indices.size());
    for (std::int32_t k = 0; k < total; ++k) {
        const std::int32_t i = indices[k];
        const std::string& name = dir.EntryNames[i];
        // The fields are unsigned 32-bit numbers in the file.
        const std::int64_t offset = static_cast<std::uint32_t>(dir.EntryOffsets[i]);
        const std::int64_t size = static_cast<std::uint32_t>(dir.EntrySizes[i]);
        if (!IsSafeFileName(name)) {
            result.Problems.push_back({i, NotExtracted(i, name, "its name cannot be used as a file name.")});
        } else if (offset + size > fileLength) {
            result.Problems.push_back(
                {i, NotExtracted(i, name,
                                 "its data (offset " + std::to_string(offset) + ", size " +
                                     std::to_string(size) + ") lies outside the archive file (" +
                                     std::to_string(fileLength) + " bytes).")});
        } else {
            result.Written.push_back(writer.Write(
                name, [&](const FileHandle& out) { CopyBytes(archive, offset, size, out, nullptr); }));
        }
        if (progress) progress(k + 1, total);
    }
    return result;
}

} // namespace kelvot
