#include "archive/file_system.h"

#include "archive/error.h"
#include "archive/file_ops.h"

#include <cerrno>
#include <sys/stat.h>

namespace kelvot {

namespace fs = std::filesystem;

namespace {

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

} // namespace kelvot
