#include "editing/safe_replace.h"

#include "archive/error.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvot {

namespace fs = std::filesystem;

namespace {

void FlushFolder(const fs::path& folder) {
    // Makes the rename itself last. The new archive is already in place, so a folder that cannot be
    // flushed (some file systems refuse) is no reason to report a failure.
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

fs::path FolderOf(const fs::path& path) {
    return path.has_parent_path() ? path.parent_path() : fs::path(".");
}

ReplacementFile::ReplacementFile(fs::path target, std::optional<mode_t> mode) : target_(std::move(target)) {
    file_ = CreateTemporaryFile(FolderOf(target_), kTemporaryPrefix, kTemporarySuffix, target_,
                                mode.value_or(0666));
    temp_ = file_.path();
    if (mode && ::fchmod(file_.fd(), *mode) != 0) {
        const int e = errno;
        file_.Close();
        ::unlink(temp_.c_str());
        throw SystemError(e, "Cannot create", target_.string());
    }
}

ReplacementFile::~ReplacementFile() {
    file_.Close();
    if (!committed_) ::unlink(temp_.c_str());
}

void ReplacementFile::Commit() {
    FlushFile(file_);
    RenameOver(temp_, target_, target_);
    committed_ = true;
    file_.Close();
    FlushFolder(FolderOf(target_));
}

} // namespace kelvot
