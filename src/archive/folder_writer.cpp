#include "archive/folder_writer.h"

#include "archive/codepage.h"
#include "archive/dat_format.h"
#include "archive/error.h"
#include "archive/temporary_files.h"

#include <cerrno>
#include <optional>
#include <unistd.h>

namespace kelvot {

namespace fs = std::filesystem;

namespace {

// A file being written: removed again on every way out unless kept.
struct FileInProgress {
    FileHandle file;
    bool keep = false;

    FileInProgress() = default;
    FileInProgress(const FileInProgress&) = delete;
    FileInProgress& operator=(const FileInProgress&) = delete;
    ~FileInProgress() {
        file.Close();
        if (!keep && !file.path().empty()) ::unlink(file.path().c_str());
    }
};

// The new file, or nullopt when a file (or anything else) of that name is there already. O_EXCL never
// opens what is there, whoever made it, nor follows a link.
std::optional<FileHandle> CreateUnlessPresent(const fs::path& path, const fs::path& shown) {
    try {
        return CreateNewFile(path, shown, 0666);
    } catch (const KelvotError& e) {
        if (e.number() == EEXIST) return std::nullopt;
        throw;
    }
}

} // namespace

FolderWriter::FolderWriter(fs::path folder) : folder_(std::move(folder)) {
    RemoveStaleTemporaryFiles(folder_);
}

fs::path FolderWriter::Write(std::string_view name, const std::function<void(const FileHandle&)>& fill) {
    if (!IsSafeFileName(name))
        throw KelvotError(EINVAL, "\"" + Cp1252ToUtf8(name) + "\" cannot be used as a file name.");
    const std::string fileName = Cp1252ToUtf8(name);
    const fs::path target = folder_ / fileName;

    FileInProgress out;
    if (auto created = CreateUnlessPresent(target, target)) {
        // A new name: written in place, and removed again if the writing fails.
        out.file = std::move(*created);
        fill(out.file);
        CloseWrittenFile(out.file);
    } else {
        // Replacing: the old file stays whole until the new one takes its name.
        out.file = CreateTemporaryFile(folder_, kPartPrefix, kPartSuffix, target, 0666);
        fill(out.file);
        CloseWrittenFile(out.file);
        RenameOver(out.file.path(), target, target);
    }
    out.keep = true;

    // A name that differs from an earlier one of this command only in letter case takes its place.
    auto [earlier, fresh] = written_.try_emplace(FoldName(name), fileName);
    if (!fresh && earlier->second != fileName) {
        const fs::path old = folder_ / earlier->second;
        if (::unlink(old.c_str()) != 0 && errno != ENOENT)
            throw SystemError(errno, "Cannot delete", old.string());
        earlier->second = fileName;
    }
    return target;
}

fs::path FolderWriter::Write(std::string_view name, std::span<const std::uint8_t> bytes) {
    return Write(name, [&](const FileHandle& file) { WriteBytes(file, bytes); });
}

} // namespace kelvot
