#include "editing/undo.h"

#include "archive/archive_model.h"
#include "archive/error.h"
#include "archive/file_replacement.h"
#include "archive/temporary_files.h"
#include "editing/edit_lock.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvot {

namespace fs = std::filesystem;

namespace {

// A second descriptor of the same open file: a flock taken through either lasts until both are closed.
FileHandle Duplicate(const FileHandle& file) {
    const int fd = ::fcntl(file.fd(), F_DUPFD_CLOEXEC, 0);
    if (fd < 0) throw SystemError(errno, "Cannot open", file.shown().string());
    return FileHandle(fd, file.path(), file.shown());
}

// Errors of a file system that cannot give a file a second name; the edit goes on without undo.
bool NoHardLinks(int error) {
    return error == EPERM || error == EOPNOTSUPP || error == EMLINK || error == ENOSYS;
}

KelvotError ChangedSinceEdit(const fs::path& target) {
    return KelvotError(ESTALE, target.string() +
                                   " has changed since Kelvot last changed it, so that change cannot be "
                                   "undone. Nothing was changed.");
}

} // namespace

ArchiveState StateOf(const FileHandle& file) {
    const std::int64_t size = FileSize(file);
    return {IdentityOf(file), size, ReadArchiveHead(file, size)};
}

bool UndoStep::Offered() const {
    if (kind_ == UndoKind::None || kind_ == UndoKind::NotHere) return false;
    try {
        return StateOf(OpenForReading(target_)) == after_;
    } catch (const KelvotError&) {
        return false;
    }
}

std::string UndoStep::Apply() {
    if (kind_ == UndoKind::None || kind_ == UndoKind::NotHere) return {};
    const fs::path target = target_;
    const std::optional<EditLock> lock = EditLock::IfPresent(target);
    bool unchanged = false;
    try {
        unchanged = lock && StateOf(lock->file()) == after_;
    } catch (const KelvotError&) {
    }
    if (!unchanged) {
        Forget();
        throw ChangedSinceEdit(target);
    }
    std::string name;
    switch (kind_) {
    case UndoKind::Created:
        if (::unlink(target.c_str()) != 0) throw SystemError(errno, "Cannot remove", target.string());
        break;
    case UndoKind::Replaced:
        RenameOver(kept_, target, target);
        kept_.clear();
        break;
    case UndoKind::Renamed: {
        const FileHandle file = OpenForUpdate(target);
        if (IdentityOf(file) != after_.Identity) throw ChangedSinceEdit(target);
        WriteBytesAt(file, offset_, oldField_);
        FlushFile(file);
        (void)::fchmod(file.fd(), mode_);
        name = DecodeEntryName(oldField_);
        break;
    }
    case UndoKind::None:
    case UndoKind::NotHere:
        break;
    }
    const bool renamed = kind_ == UndoKind::Renamed;
    Forget();
    if (!renamed) FlushFolder(FolderOf(target));
    return name;
}

void UndoStep::Forget() {
    // Removed while still locked, so no cleaner of another process ever finds it unlocked.
    if (!kept_.empty()) ::unlink(kept_.c_str());
    kept_.clear();
    holder_.Close();
    settling_.Close();
    kind_ = UndoKind::None;
    target_.clear();
    after_ = {};
}

void UndoStep::BeforeNaming(const fs::path& target, const FileHandle* old, const FileHandle& file,
                            bool replacing) {
    Forget();
    // Nobody else knows the new file yet; locked now, no other edit can change it before Settle reads it.
    // Where the file system cannot lock, the edit goes on all the same.
    FileHandle settling = Duplicate(file);
    (void)::flock(settling.fd(), LOCK_EX | LOCK_NB);
    if (!replacing) {
        kind_ = UndoKind::Created;
        target_ = target;
        after_.Identity = IdentityOf(file);
        settling_ = std::move(settling);
        return;
    }
    // The old file carries the edit's lock on through a second descriptor. Without one (a file that
    // appeared after the edit looked), it is locked here where it can be.
    FileHandle holder;
    if (old) {
        holder = Duplicate(*old);
    } else {
        holder = OpenForReading(target);
        (void)::flock(holder.fd(), LOCK_EX | LOCK_NB);
    }
    fs::path kept;
    for (int attempt = 0; kept.empty(); ++attempt) {
        const fs::path name = TemporaryName(FolderOf(target), TemporaryKind::Undo);
        try {
            LinkFile(target, name, "Cannot keep the old file beside", target);
            kept = name;
        } catch (const KelvotError& e) {
            if (NoHardLinks(e.number())) {
                kind_ = UndoKind::NotHere;
                return;
            }
            if (e.number() != EEXIST || attempt >= 100) throw;
        }
    }
    struct stat st {};
    if (::stat(kept.c_str(), &st) != 0 || FileIdentity{st.st_dev, st.st_ino} != IdentityOf(holder)) {
        ::unlink(kept.c_str());
        throw KelvotError(ESTALE, target.string() + " was changed by another program while it was rewritten. "
                                                    "Nothing was changed; please open it again.");
    }
    kind_ = UndoKind::Replaced;
    target_ = target;
    after_.Identity = IdentityOf(file);
    kept_ = std::move(kept);
    holder_ = std::move(holder);
    settling_ = std::move(settling);
}

void UndoStep::Settle() noexcept {
    if (kind_ == UndoKind::Created || kind_ == UndoKind::Replaced) {
        try {
            const FileHandle now = OpenForReading(target_);
            if (IdentityOf(now) != after_.Identity) throw ChangedSinceEdit(target_);
            after_ = StateOf(now);
        } catch (...) {
            Forget();
        }
    }
    settling_.Close();
}

void UndoStep::RenamedInPlace(const fs::path& target, std::int64_t offset,
                              std::span<const std::uint8_t, kNameFieldSize> oldField, mode_t mode,
                              ArchiveState after) {
    Forget();
    kind_ = UndoKind::Renamed;
    target_ = target;
    after_ = std::move(after);
    offset_ = offset;
    std::copy(oldField.begin(), oldField.end(), oldField_.begin());
    mode_ = mode;
}

} // namespace kelvot
