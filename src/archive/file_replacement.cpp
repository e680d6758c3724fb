#include "archive/file_replacement.h"

#include "archive/error.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvot {

namespace fs = std::filesystem;

namespace {

constexpr const char* kCannotCreate = "Cannot create a temporary file beside";

} // namespace

fs::path FolderOf(const fs::path& path) {
    return path.has_parent_path() ? path.parent_path() : fs::path(".");
}

void FlushFolder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return; // a folder one may write but not read; nothing to flush it through
    const int rc = ::fsync(fd);
    const int e = errno;
    ::close(fd);
    if (rc != 0 && e != EINVAL && e != EROFS && e != EOPNOTSUPP)
        throw SystemError(e, "Cannot write the folder", folder.string());
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
    const fs::path folder = FolderOf(target_);
    if (auto unnamed = CreateUnnamedFile(folder, kCannotCreate, target_, 0666)) {
        file_ = std::move(*unnamed);
    } else {
        file_ = CreateTemporaryFile(folder, options_.Kind, target_, 0666);
        temp_ = file_.path();
    }
}

FileReplacement::~FileReplacement() {
    file_.Close();
    if (!committed_ && !temp_.empty()) ::unlink(temp_.c_str());
}

bool FileReplacement::AdoptOldFile() {
    struct stat old {};
    if (::lstat(target_.c_str(), &old) != 0) return false;
    if (options_.Protected && FileIdentity{old.st_dev, old.st_ino} == *options_.Protected)
        throw KelvotError(kWouldReplaceSource,
                          target_.string() + " is the archive being read, so it was not replaced.");
    if (!S_ISREG(old.st_mode)) return true;
    oldLinks_ = static_cast<std::int64_t>(old.st_nlink);
    // The owner first: a change of owner clears the set-id bits that the mode then puts back. Giving the
    // file away is for root; anyone else keeps at least the group, where they belong to it.
    if (::fchown(file_.fd(), old.st_uid, old.st_gid) != 0) (void)::fchown(file_.fd(), -1, old.st_gid);
    if (::fchmod(file_.fd(), (old.st_mode & 07777) | S_IWUSR) != 0)
        throw SystemError(errno, kCannotCreate, target_.string());
    return true;
}

void FileReplacement::Commit() {
    // An archive takes the old one's permissions and owner before the flush, so that they last too.
    bool taken = options_.Durable && AdoptOldFile();
    if (options_.Durable) FlushFile(file_);
    if (temp_.empty() && !taken) {
        // A name that is free: the complete file appears under it in one step, or not at all.
        if (options_.BeforeNaming) options_.BeforeNaming(file_, target_, false);
        try {
            NameUnnamedFile(file_, target_, FileStep::Rename, "Cannot create", target_);
            temp_ = target_; // removed again if the close reports a late failure
            CloseWrittenFile(file_);
            committed_ = true;
            if (options_.Durable) FlushFolder(FolderOf(target_));
            return;
        } catch (const KelvotError& e) {
            if (e.number() != EEXIST || temp_ == target_) throw;
        }
    }
    // Something has the name: the new file replaces it in one rename, through a temporary name.
    const bool replacing = AdoptOldFile();
    for (int attempt = 0; temp_.empty(); ++attempt) {
        try {
            const fs::path name = TemporaryName(FolderOf(target_), options_.Kind);
            NameUnnamedFile(file_, name, FileStep::Create, kCannotCreate, target_);
            temp_ = name;
        } catch (const KelvotError& e) {
            if (e.number() != EEXIST || attempt >= 100) throw;
        }
    }
    if (options_.BeforeNaming) options_.BeforeNaming(file_, target_, replacing);
    CloseWrittenFile(file_);
    RenameOver(temp_, target_, target_);
    committed_ = true;
    if (options_.Durable) FlushFolder(FolderOf(target_));
}

} // namespace kelvot
