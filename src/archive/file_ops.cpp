#include "archive/file_ops.h"

#include "archive/error.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace kelvot {

namespace fs = std::filesystem;

namespace {

FileFaultHook& Hook() {
    static FileFaultHook hook;
    return hook;
}

// The error number the hook wants for this step, or 0.
int Injected(FileStep step, const fs::path& path) {
    const FileFaultHook& hook = Hook();
    return hook ? hook(step, path) : 0;
}

// Large pieces keep the system calls few; the progress display still moves on a big entry.
constexpr std::int64_t kCopyPiece = std::int64_t{64} << 20;
constexpr std::size_t kBufferSize = std::size_t{1} << 20;

FileHandle OpenExisting(const fs::path& path, int flags, std::int64_t* size = nullptr) {
    int fd = -1;
    if (const int e = Injected(FileStep::Open, path)) {
        errno = e;
    } else {
        // O_NONBLOCK: opening a FIFO would otherwise wait for a writer before anything could look at it. It
        // changes nothing for the regular files that pass the check below.
        do
            fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC);
        while (fd < 0 && errno == EINTR);
    }
    if (fd < 0) throw SystemError(errno, "Cannot open", path.string());
    FileHandle file(fd, path, path);
    struct stat st {};
    if (::fstat(fd, &st) != 0) throw SystemError(errno, "Cannot open", path.string());
    if (!S_ISREG(st.st_mode)) throw NotARegularFile(path, st.st_mode);
    if (size) *size = st.st_size;
    return file;
}

[[noreturn]] void ThrowEnded(const FileHandle& file) {
    throw KelvotError(EIO, "Cannot read " + file.shown().string() +
                               ": the file is shorter than it was a moment ago; it may be in use.");
}

// Copies through a buffer where the kernel cannot copy between the two files.
void CopyThroughBuffer(const FileHandle& from, std::int64_t offset, std::int64_t length, const FileHandle& to,
                       const std::function<void(std::int64_t)>& copied) {
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::min<std::int64_t>(length, kBufferSize)));
    while (length > 0) {
        const auto n = static_cast<std::size_t>(std::min<std::int64_t>(length, buffer.size()));
        const std::span<std::uint8_t> piece(buffer.data(), n);
        ReadExactly(from, offset, piece);
        WriteBytes(to, piece);
        offset += static_cast<std::int64_t>(n);
        length -= static_cast<std::int64_t>(n);
        if (copied) copied(static_cast<std::int64_t>(n));
    }
}

} // namespace

KelvotError NotARegularFile(const fs::path& path, mode_t mode) {
    if (S_ISDIR(mode)) return SystemError(EISDIR, "Cannot open", path.string());
    const char* what = S_ISFIFO(mode)   ? "a FIFO"
                       : S_ISCHR(mode)  ? "a character device"
                       : S_ISBLK(mode)  ? "a block device"
                       : S_ISSOCK(mode) ? "a socket"
                                        : "an unknown kind of file";
    return KelvotError(EINVAL, "Cannot open " + path.string() + ": it is " + what + ", not a regular file.");
}

FileFaultHook SetFileFaultHook(FileFaultHook hook) {
    return std::exchange(Hook(), std::move(hook));
}

FileHandle::FileHandle(int fd, fs::path path, fs::path shown)
    : fd_(fd), path_(std::move(path)), shown_(std::move(shown)) {}

FileHandle::FileHandle(FileHandle&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)), shown_(std::move(other.shown_)) {}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
        shown_ = std::move(other.shown_);
    }
    return *this;
}

FileHandle::~FileHandle() {
    Close();
}

void FileHandle::Close() noexcept {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

FileHandle OpenForReading(const fs::path& path, std::int64_t* size) {
    return OpenExisting(path, O_RDONLY, size);
}

FileHandle OpenForUpdate(const fs::path& path) {
    return OpenExisting(path, O_RDWR);
}

FileHandle CreateNewFile(const fs::path& path, const std::string& what, const fs::path& shown, mode_t mode) {
    int fd = -1;
    if (const int e = Injected(FileStep::Create, path)) {
        errno = e;
    } else {
        do
            fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        while (fd < 0 && errno == EINTR);
    }
    if (fd < 0) throw SystemError(errno, what, shown.string());
    return FileHandle(fd, path, shown);
}

std::optional<FileHandle> CreateUnnamedFile(const fs::path& folder, const std::string& what,
                                            const fs::path& shown, mode_t mode) {
    // Naming the file later goes through /proc.
    static const bool named = ::access("/proc/self/fd", X_OK) == 0;
    if (!named) return std::nullopt;
    int fd = -1;
    if (const int e = Injected(FileStep::Create, folder)) {
        errno = e;
    } else {
        do
            fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
        while (fd < 0 && errno == EINTR);
        if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) return std::nullopt;
    }
    if (fd < 0) throw SystemError(errno, what, shown.string());
    return FileHandle(fd, folder, shown);
}

void NameUnnamedFile(const FileHandle& file, const fs::path& path, FileStep step, const std::string& what,
                     const fs::path& shown) {
    int rc = -1;
    if (const int e = Injected(step, path)) {
        errno = e;
    } else {
        // The descriptor itself where the system allows it (root, or Linux 6.10 on), else through /proc.
        static std::atomic<bool> emptyPath{true};
        if (emptyPath) {
            rc = ::linkat(file.fd(), "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH);
            if (rc != 0 && (errno == EPERM || errno == ENOENT || errno == EINVAL)) emptyPath = false;
        }
        if (!emptyPath) {
            const std::string self = "/proc/self/fd/" + std::to_string(file.fd());
            rc = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW);
        }
    }
    if (rc != 0) throw SystemError(errno, what, shown.string());
}

void LinkFile(const fs::path& from, const fs::path& to, const std::string& what, const fs::path& shown) {
    int rc = -1;
    if (const int e = Injected(FileStep::Create, to))
        errno = e;
    else
        rc = ::linkat(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), 0);
    if (rc != 0) throw SystemError(errno, what, shown.string());
}

std::int64_t FileSize(const FileHandle& file) {
    struct stat st {};
    if (::fstat(file.fd(), &st) != 0) throw SystemError(errno, "Cannot read", file.shown().string());
    return st.st_size;
}

FileIdentity IdentityOf(const FileHandle& file) {
    struct stat st {};
    if (::fstat(file.fd(), &st) != 0) throw SystemError(errno, "Cannot read", file.shown().string());
    return {st.st_dev, st.st_ino};
}

namespace {

FileStamp StampOfStat(const struct stat& st) {
    return {{st.st_dev, st.st_ino}, st.st_size, st.st_ctim.tv_sec * 1'000'000'000LL + st.st_ctim.tv_nsec};
}

} // namespace

FileStamp StampOf(const FileHandle& file) {
    struct stat st {};
    if (::fstat(file.fd(), &st) != 0) throw SystemError(errno, "Cannot read", file.shown().string());
    return StampOfStat(st);
}

std::optional<FileStamp> StampOfPath(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return StampOfStat(st);
}

void ReadExactly(const FileHandle& file, std::int64_t offset, std::span<std::uint8_t> bytes) {
    while (!bytes.empty()) {
        ssize_t n = -1;
        if (const int e = Injected(FileStep::Read, file.path()))
            errno = e;
        else
            n = ::pread(file.fd(), bytes.data(), bytes.size(), offset);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw SystemError(errno, "Cannot read", file.shown().string());
        if (n == 0) ThrowEnded(file);
        bytes = bytes.subspan(static_cast<std::size_t>(n));
        offset += n;
    }
}

void WriteBytes(const FileHandle& file, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        ssize_t n = -1;
        if (const int e = Injected(FileStep::Write, file.path()))
            errno = e;
        else
            n = ::write(file.fd(), bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw SystemError(errno, "Cannot write", file.shown().string());
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
}

void WriteBytesAt(const FileHandle& file, std::int64_t offset, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        ssize_t n = -1;
        if (const int e = Injected(FileStep::Write, file.path()))
            errno = e;
        else
            n = ::pwrite(file.fd(), bytes.data(), bytes.size(), offset);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw SystemError(errno, "Cannot write", file.shown().string());
        bytes = bytes.subspan(static_cast<std::size_t>(n));
        offset += n;
    }
}

void CopyBytes(const FileHandle& from, std::int64_t offset, std::int64_t length, const FileHandle& to,
               const std::function<void(std::int64_t)>& copied) {
    while (length > 0) {
        if (const int e = Injected(FileStep::Read, from.path()))
            throw SystemError(e, "Cannot read", from.shown().string());
        if (const int e = Injected(FileStep::Write, to.path()))
            throw SystemError(e, "Cannot write", to.shown().string());
        loff_t in = offset;
        const auto want = static_cast<std::size_t>(std::min(length, kCopyPiece));
        const ssize_t n = ::copy_file_range(from.fd(), &in, to.fd(), nullptr, want, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 &&
            (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL || errno == EPERM)) {
            // Not possible between these two files here: copy the rest through memory.
            CopyThroughBuffer(from, offset, length, to, copied);
            return;
        }
        if (n < 0) {
            const int e = errno;
            if (e == ENOSPC || e == EDQUOT || e == EFBIG)
                throw SystemError(e, "Cannot write", to.shown().string());
            throw SystemError(e, "Cannot copy from " + from.shown().string() + " to", to.shown().string());
        }
        if (n == 0) {
            // Some file systems answer 0 rather than refusing; reading says whether the file really ended.
            CopyThroughBuffer(from, offset, length, to, copied);
            return;
        }
        offset += n;
        length -= n;
        if (copied) copied(n);
    }
}

void AdviseWillRead(const FileHandle& file, std::int64_t offset, std::int64_t length) {
    ::posix_fadvise(file.fd(), offset, length, POSIX_FADV_WILLNEED);
}

void FlushFile(const FileHandle& file) {
    int rc = -1;
    if (const int e = Injected(FileStep::Flush, file.path()))
        errno = e;
    else
        rc = ::fsync(file.fd());
    if (rc != 0) throw SystemError(errno, "Cannot write", file.shown().string());
}

void CloseWrittenFile(FileHandle& file) {
    const int fd = file.Release();
    int rc = -1;
    if (const int e = Injected(FileStep::Flush, file.path())) {
        ::close(fd);
        errno = e;
    } else {
        rc = ::close(fd);
    }
    if (rc != 0) throw SystemError(errno, "Cannot write", file.shown().string());
}

void RenameOver(const fs::path& from, const fs::path& to, const fs::path& shown) {
    int rc = -1;
    if (const int e = Injected(FileStep::Rename, to))
        errno = e;
    else
        rc = ::rename(from.c_str(), to.c_str());
    if (rc != 0) throw SystemError(errno, "Cannot replace", shown.string());
}

} // namespace kelvot
