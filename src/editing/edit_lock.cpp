#include "editing/edit_lock.h"

#include "archive/error.h"
#include "archive/file_replacement.h"

#include <cerrno>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>

namespace kelvot {

namespace fs = std::filesystem;

namespace {

constexpr std::chrono::milliseconds kPoll{20};

} // namespace

EditLock::EditLock(const fs::path& archive, std::chrono::milliseconds wait) : path_(ResolveLinks(archive)) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        FileHandle file = OpenForReading(path_);
        file = FileHandle(file.Release(), path_, archive);
        while (::flock(file.fd(), LOCK_EX | LOCK_NB) != 0) {
            if (errno == EINTR) continue;
            if (errno != EWOULDBLOCK) throw SystemError(errno, "Cannot lock", archive.string());
            if (std::chrono::steady_clock::now() >= deadline)
                throw KelvotError(EBUSY, archive.string() +
                                             " is being changed by another program. Nothing was changed; "
                                             "please try again when it has finished.");
            std::this_thread::sleep_for(kPoll);
        }
        // An edit that held the lock may have put a new file in the old one's place meanwhile.
        struct stat now {};
        if (::stat(path_.c_str(), &now) != 0) throw SystemError(errno, "Cannot open", archive.string());
        if (FileIdentity{now.st_dev, now.st_ino} == IdentityOf(file)) {
            file_ = std::move(file);
            return;
        }
    }
}

std::optional<EditLock> EditLock::IfPresent(const fs::path& target, std::chrono::milliseconds wait) {
    std::error_code ec;
    if (!fs::exists(target, ec) && !fs::is_symlink(target, ec)) return std::nullopt;
    return EditLock(target, wait);
}

} // namespace kelvot
