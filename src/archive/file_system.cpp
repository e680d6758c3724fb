#include "archive/file_system.h"

#include "archive/error.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvot {

namespace fs = std::filesystem;

namespace {

struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

struct stat StatOrThrow(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) throw SystemError(errno, "Cannot read the attributes of", path);
    return st;
}

} // namespace

bool FileExists(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

bool ArchiveFileExists(const fs::path& path) {
    return FileExists(path) && !path.filename().string().starts_with('.');
}

int Attributes(const fs::path& path) {
    const struct stat st = StatOrThrow(path);
    int attributes = 0;
    if ((st.st_mode & S_IWUSR) == 0) attributes |= kReadOnly;
    if (path.filename().string().starts_with('.')) attributes |= kHidden;
    return attributes;
}

void SetAttributes(const fs::path& path, int attributes) {
    const struct stat st = StatOrThrow(path);
    mode_t mode = st.st_mode & 07777;
    mode = (attributes & kReadOnly) ? (mode & ~(S_IWUSR | S_IWGRP | S_IWOTH)) : (mode | S_IWUSR);
    if (::chmod(path.c_str(), mode) != 0) throw SystemError(errno, "Cannot change the attributes of", path);
}

void ClearReadOnlyAttributes(const fs::path& path) {
    if (Attributes(path) & kReadOnly) SetAttributes(path, 0);
}

std::vector<std::uint8_t> ReadWholeFile(const fs::path& path) {
    Fd file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0) throw SystemError(errno, "Cannot open", path);
    struct stat st {};
    if (::fstat(file.fd, &st) != 0) throw SystemError(errno, "Cannot read", path);
    if (!S_ISREG(st.st_mode)) throw SystemError(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, "Cannot read", path);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(file.fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw SystemError(errno, "Cannot read", path);
        if (n == 0) break; // the file shrank while we read it
        done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
    return bytes;
}

} // namespace kelvot
