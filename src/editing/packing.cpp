#include "editing/packing.h"

#include "archive/codepage.h"
#include "archive/error.h"
#include "archive/file_replacement.h"
#include "archive/temporary_files.h"
#include "editing/edit_lock.h"
#include "editing/name_checks.h"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>

namespace kelvot {

namespace fs = std::filesystem;

namespace {

// Whether `path` lies inside `folder`; both already free of links.
bool Inside(const fs::path& path, const fs::path& folder) {
    const auto [end, rest] = std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
    return end == folder.end() && rest != path.end();
}

} // namespace

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

PackCandidates SelectPackableFiles(const fs::path& folder, const fs::path& skip) {
    PackCandidates found;
    struct stat skipped {};
    const bool skipping = !skip.empty() && ::stat(skip.c_str(), &skipped) == 0;
    std::error_code ec;
    const fs::path realFolder = fs::canonical(folder, ec);
    fs::directory_iterator it(folder, ec);
    for (const fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        // Subfolders, devices and broken links are no files to pack.
        if (!it->is_regular_file(typeError)) continue;
        struct stat st {};
        if (skipping && ::stat(it->path().c_str(), &st) == 0 && st.st_dev == skipped.st_dev &&
            st.st_ino == skipped.st_ino)
            continue;
        if (it->is_symlink(typeError)) {
            const fs::path real = fs::canonical(it->path(), typeError);
            if (typeError || !Inside(real, realFolder)) {
                found.LeftOut.push_back({it->path(), "it is a symbolic link to a file outside the folder"});
                continue;
            }
        }
        if (auto name = PackableName(it->path().filename()))
            found.Packable.push_back({it->path(), std::move(*name)});
        else
            found.LeftOut.push_back({it->path(), std::string(kUnpackableName)});
    }
    if (ec) throw SystemError(ec.value(), "Cannot read the folder", folder.string());
    return found;
}

WriteResult WritePackedArchive(std::span<const PackableFile> files, const fs::path& target,
                               const EditProgress& progress, UndoStep* undo) {
    const auto count = static_cast<std::int64_t>(files.size());
    if (count == 0) throw KelvotError(EINVAL, "There is no file to pack, so no DAT file was written.");
    CheckArchiveLimits(count, 0);
    std::vector<PackSource> sources;
    std::int64_t size = DirectoryEnd(count);
    for (const PackableFile& file : files) {
        sources.push_back(SourceToPack(file.Path));
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
    // An archive of that name may be in the middle of an edit.
    const std::optional<EditLock> lock = EditLock::IfPresent(target);
    return WriteArchiveFile(lock ? lock->path() : target, head, pieces, nullptr, sources, progress, undo,
                            lock ? &lock->file() : nullptr);
}

CreateResult CreateArchive(const fs::path& folder, std::string_view archiveName, const EditProgress& progress,
                           UndoStep* undo) {
    if (!IsWritableEntryName(archiveName) || !IsSafeFileName(archiveName))
        throw KelvotError(EINVAL, "\"" + PrintableName(archiveName) + "\" cannot be the name of a DAT file.");
    RemoveStaleTemporaryFiles(folder);
    CreateResult result;
    result.Target = folder / Cp1252ToUtf8(archiveName);
    PackCandidates candidates = SelectPackableFiles(folder, result.Target);
    result.LeftOut = std::move(candidates.LeftOut);
    if (candidates.Packable.empty()) return result;
    const WriteResult written = WritePackedArchive(candidates.Packable, result.Target, progress, undo);
    result.Created = true;
    result.EntryCount = static_cast<std::int32_t>(candidates.Packable.size());
    result.FileSize = written.FileSize;
    result.OtherLinks = written.OtherLinks;
    return result;
}

} // namespace kelvot
