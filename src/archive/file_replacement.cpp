#include "archive/file_replacement.h"

#include "archive/error.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvot {

namespace fs = std::filesystem;

namespace {

// Makes the rename itself last. Some file systems cannot flush a folder (EINVAL); that is no failure, but
// an error of the disk is, although the new file is in place by now.
void FlushFolder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return; // a folder one may write but not read; nothing to flush it through
    const int rc = ::fsync(fd);
    const int e = errno;
    ::close(fd);
    if (rc != 0 && e != EINVAL && e != EROFS && e != EOPNOTSUPP)
        throw SystemError(e, "Cannot write the folder", folder.string());
}

} // namespace

fs::path FolderOf(const fs::path& path) {
    return path.has_parent_path() ? path.parent_path() : fs::path(".");
}

fs::path ResolveLinks(const fs::path& path) {
    std::error_code ec;
    if (!fs::is_symlink(path, ec)) return path;
    fs::path real = fs::canonical(path, ec);
    if (ec) throw SystemError(ec.value(), "Cannot follow the symbolic link", path.string());
    return real;
}

FileReplacement::FileReplacement(const fs::path& target, const ReplaceOptions& options)
    : target_(options.FollowLinks ? ResolveLinks(target) : target), options_(options) {
    RequireNotProtected();
    struct stat old {};
    const bool replacing = ::lstat(target_.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    file_ = CreateTemporaryFile(FolderOf(target_), options_.Kind, target_, 0666);
    temp_ = file_.path();
    if (!replacing) return;
    oldLinks_ = static_cast<std::int64_t>(old.st_nlink);
    // The owner first: a change of owner clears the set-id bits that the mode then puts back. Giving the
    // file away is for root; anyone else keeps at least the group, where they belong to it.
    if (::fchown(file_.fd(), old.st_uid, old.st_gid) != 0) (void)::fchown(file_.fd(), -1, old.st_gid);
    if (::fchmod(file_.fd(), (old.st_mode & 07777) | S_IWUSR) != 0) {
        const int e = errno;
        file_.Close();
        ::unlink(temp_.c_str());
        throw SystemError(e, "Cannot create a temporary file beside", target_.string());
    }
}

FileReplacement::~FileReplacement() {
    file_.Close();
    if (!committed_) ::unlink(temp_.c_str());
}

void FileReplacement::RequireNotProtected() const {
    struct stat st {};
    if (options_.Protected && ::lstat(target_.c_str(), &st) == 0 &&
        FileIdentity{st.st_dev, st.st_ino} == *options_.Protected)
        throw KelvotError(kWouldReplaceSource,
                          target_.string() + " is the archive being read, so it was not replaced.");
}

void FileReplacement::Commit() {
    if (options_.Durable) FlushFile(file_);
    CloseWrittenFile(file_);
    RequireNotProtected(); // the name may have come to stand for the archive while the bytes were written
    RenameOver(temp_, target_, target_);
    committed_ = true;
    if (options_.Durable) FlushFolder(FolderOf(target_));
}

} // namespace kelvot
