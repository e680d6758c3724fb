#include "editing/safe_replace.h"

#include "archive/error.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvot {

namespace fs = std::filesystem;

namespace {

fs::path TemporaryName() {
    static std::atomic<unsigned> counter{0};
    return std::string(kTemporaryPrefix) + std::to_string(::getpid()) + "-" + std::to_string(counter++) +
           std::string(kTemporarySuffix);
}

// The process id in a temporary file's name, or 0 when the name is not one of ours.
pid_t OwnerOf(std::string_view name) {
    if (!name.starts_with(kTemporaryPrefix) || !name.ends_with(kTemporarySuffix)) return 0;
    name.remove_prefix(kTemporaryPrefix.size());
    pid_t pid = 0;
    const auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), pid);
    if (ec != std::errc() || end == name.data() || *end != '-') return 0;
    return pid;
}

bool ProcessLives(pid_t pid) {
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

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
    const fs::path folder = FolderOf(target_);
    for (int attempt = 0;; ++attempt) {
        temp_ = folder / TemporaryName();
        try {
            file_ = CreateNewFile(temp_, target_, mode.value_or(0666));
            break;
        } catch (const KelvotError& e) {
            if (e.number() != EEXIST || attempt >= 100) throw;
        }
    }
    // The lock tells a later cleaner that this file is still being written; it goes with the process.
    ::flock(file_.fd(), LOCK_EX | LOCK_NB);
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

void RemoveStaleTemporaryFiles(const fs::path& folder) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const pid_t owner = OwnerOf(name);
        if (owner <= 0 || owner == ::getpid() || ProcessLives(owner)) continue;
        const int fd = ::open(it->path().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(it->path().c_str());
        ::close(fd);
    }
}

} // namespace kelvot
