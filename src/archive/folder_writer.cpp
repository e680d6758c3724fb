#include "archive/folder_writer.h"

#include "archive/codepage.h"
#include "archive/dat_format.h"
#include "archive/error.h"
#include "archive/file_replacement.h"
#include "archive/temporary_files.h"

#include <cerrno>
#include <unistd.h>

namespace kelvot {

namespace fs = std::filesystem;

FolderWriter::FolderWriter(fs::path folder, std::optional<FileIdentity> source)
    : folder_(std::move(folder)), source_(source) {
    RemoveStaleTemporaryFiles(folder_);
}

WrittenFile FolderWriter::Write(std::string_view name, std::int32_t tag,
                                const std::function<void(const FileHandle&)>& fill) {
    if (!IsSafeFileName(name))
        throw KelvotError(EINVAL, "\"" + PrintableName(name) + "\" cannot be used as a file name.");
    const std::string fileName = Cp1252ToUtf8(name);
    const fs::path target = folder_ / fileName;

    FileReplacement out(target, {.FollowLinks = false,
                                 .Durable = false,
                                 .Kind = TemporaryKind::Output,
                                 .Protected = source_,
                                 .BeforeNaming = {}});
    fill(out.file());
    out.Commit();

    // A name that differs from an earlier one of this command only in letter case takes its place.
    WrittenFile written{target, std::nullopt};
    auto [earlier, fresh] = written_.try_emplace(FoldName(name), Earlier{fileName, tag});
    if (!fresh) {
        if (earlier->second.FileName != fileName) {
            const fs::path old = folder_ / earlier->second.FileName;
            if (::unlink(old.c_str()) != 0 && errno != ENOENT)
                throw SystemError(errno, "Cannot delete", old.string());
        }
        if (earlier->second.Tag != tag) written.Displaced = earlier->second.Tag;
        earlier->second = {fileName, tag};
    }
    return written;
}

WrittenFile FolderWriter::Write(std::string_view name, std::int32_t tag,
                                std::span<const std::uint8_t> bytes) {
    return Write(name, tag, [&](const FileHandle& file) { WriteBytes(file, bytes); });
}

} // namespace kelvot
