#include "editing/packing.h"

#include "archive/codepage.h"
#include "archive/error.h"
#include "editing/name_checks.h"
#include "editing/safe_replace.h"

#include <cerrno>

namespace kelvot {

namespace fs = std::filesystem;

std::optional<std::string> PackableName(const fs::path& fileName) {
    auto name = Utf8ToCp1252(fileName.filename().string());
    if (!name || !IsWritableEntryName(*name)) return std::nullopt;
    const std::size_t dot = name->rfind('.');
    if (dot == std::string::npos) return std::nullopt;
    const std::string_view extension = std::string_view(*name).substr(dot + 1);
    if (extension.size() != 2 && extension.size() != 3) return std::nullopt;
    if (NamesEqualIgnoringCase(extension, "dat")) return std::nullopt;
    return name;
}

std::vector<PackableFile> SelectPackableFiles(const fs::path& folder) {
    std::vector<PackableFile> files;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    for (const fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue; // subfolders, devices, broken links
        if (auto name = PackableName(it->path().filename())) files.push_back({it->path(), std::move(*name)});
    }
    if (ec) throw SystemError(ec.value(), "Cannot read the folder", folder.string());
    return files;
}

std::int64_t WritePackedArchive(std::span<const PackableFile> files, const fs::path& target,
                                const EditProgress& progress) {
    const auto count = static_cast<std::int64_t>(files.size());
    if (count == 0) throw KelvotError(EINVAL, "There is no file to pack, so no DAT file was written.");
    CheckArchiveLimits(count, 0);
    std::vector<PackSource> sources;
    std::int64_t size = DirectoryEnd(count);
    for (const PackableFile& file : files) {
        sources.push_back({file.Path, SizeOfFileToPack(file.Path)});
        size += sources.back().Size;
    }
    CheckArchiveLimits(count, size);

    std::vector<std::uint8_t> head{static_cast<std::uint8_t>(count), static_cast<std::uint8_t>(count >> 8)};
    std::vector<DataPiece> pieces;
    auto offset = static_cast<std::uint32_t>(DirectoryEnd(count));
    for (std::size_t i = 0; i < files.size(); ++i) {
        const auto entrySize = static_cast<std::uint32_t>(sources[i].Size);
        AppendRecord(head, entrySize, files[i].Name, offset);
        pieces.push_back({static_cast<std::int32_t>(i), 0, sources[i].Size});
        offset += entrySize;
    }
    return WriteArchiveFile(target, std::nullopt, head, pieces, nullptr, sources, progress);
}

CreateResult CreateArchive(const fs::path& folder, std::string_view archiveName,
                           const EditProgress& progress) {
    if (!IsWritableEntryName(archiveName) || !IsSafeFileName(archiveName))
        throw KelvotError(EINVAL, "\"" + Cp1252ToUtf8(archiveName) + "\" cannot be the name of a DAT file.");
    RemoveStaleTemporaryFiles(folder);
    const std::vector<PackableFile> files = SelectPackableFiles(folder);
    CreateResult result;
    if (files.empty()) return result;
    result.Target = folder / Cp1252ToUtf8(archiveName);
    result.FileSize = WritePackedArchive(files, result.Target, progress);
    result.Created = true;
    result.EntryCount = static_cast<std::int32_t>(files.size());
    return result;
}

} // namespace kelvot
