#include "archive/temporary_files.h"

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
#include <utility>

namespace kelvot {

namespace fs = std::filesystem;

namespace {

// The process id in a temporary file's name of this kind, or 0 when the name is not one.
pid_t OwnerOf(std::string_view name, std::string_view prefix, std::string_view suffix) {
    if (!name.starts_with(prefix) || !name.ends_with(suffix)) return 0;
    name.remove_prefix(prefix.size());
    pid_t pid = 0;
    const auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), pid);
    if (ec != std::errc() || end == name.data() || *end != '-') return 0;
    return pid;
}

bool ProcessLives(pid_t pid) {
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

} // namespace

fs::path TemporaryName(const fs::path& folder, TemporaryKind kind) {
    static std::atomic<unsigned> counter{0};
    const auto [prefix, suffix] = kind == TemporaryKind::Archive
                                      ? std::pair(kTemporaryPrefix, kTemporarySuffix)
                                  : kind == TemporaryKind::Undo ? std::pair(kUndoPrefix, kUndoSuffix)
                                                                : std::pair(kPartPrefix, kPartSuffix);
    return folder / (std::string(prefix) + std::to_string(::getpid()) + "-" + std::to_string(counter++) +
                     std::string(suffix));
}

FileHandle CreateTemporaryFile(const fs::path& folder, TemporaryKind kind, const fs::path& target,
                               mode_t mode) {
    for (int attempt = 0;; ++attempt) {
        try {
            FileHandle file = CreateNewFile(TemporaryName(folder, kind),
                                            "Cannot create a temporary file beside", target, mode);
            // The lock tells a later cleaner that this file is still being written; it goes with the process.
            // Nobody else can hold it on a file this new, so a refusal means the folder cannot lock at all,
            // and the file could be cleaned away under the writer.
            if (::flock(file.fd(), LOCK_EX | LOCK_NB) != 0) {
                const int e = errno;
                ::unlink(file.path().c_str());
                throw SystemError(e, "Cannot lock a temporary file beside", target.string());
            }
            return file;
        } catch (const KelvotError& e) {
            if (e.number() != EEXIST || attempt >= 100) throw;
        }
    }
}

void RemoveStaleTemporaryFiles(const fs::path& folder) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        pid_t owner = OwnerOf(name, kTemporaryPrefix, kTemporarySuffix);
        if (owner == 0) owner = OwnerOf(name, kUndoPrefix, kUndoSuffix);
        if (owner == 0) owner = OwnerOf(name, kPartPrefix, kPartSuffix);
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
