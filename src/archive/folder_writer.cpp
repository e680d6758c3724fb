#include "archive/folder_writer.h"

#include "archive/codepage.h"
#include "archive/dat_format.h"
#include "archive/error.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace kelvot {

namespace fs = std::filesystem;

namespace {

// A file being written: closed, and removed unless kept, on every way out.
struct FileInProgress {
    fs::path path;
    int fd = -1;
    bool keep = false;

    FileInProgress() = default;
    FileInProgress(const FileInProgress&) = delete;
    FileInProgress& operator=(const FileInProgress&) = delete;
    ~FileInProgress() {
        if (fd >= 0) ::close(fd);
        if (!keep && !path.empty()) ::unlink(path.c_str());
    }

    // O_EXCL never opens a file that is already there, whoever made it, nor follows a link.
    bool Create(const fs::path& at) {
        fd = ::open(at.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) path = at;
        return fd >= 0;
    }

    void Close(const fs::path& target) {
        const int closing = fd;
        fd = -1;
        if (::close(closing) != 0) throw SystemError(errno, "Cannot write", target.string());
    }
};

// A hidden name beside the targets that no file has yet.
void CreatePartFile(FileInProgress& part, const fs::path& folder) {
    static const std::string prefix = ".kelvot-" + std::to_string(::getpid()) + "-";
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (part.Create(folder / (prefix + std::to_string(counter++) + ".part"))) return;
        if (errno != EEXIST) break;
    }
    throw SystemError(errno, "Cannot create a file in", folder.string());
}

} // namespace

FolderWriter::FolderWriter(fs::path folder) : folder_(std::move(folder)) {}

fs::path FolderWriter::Write(std::string_view name, const std::function<void(int fd)>& fill) {
    if (!IsSafeFileName(name))
        throw KelvotError(EINVAL, "\"" + Cp1252ToUtf8(name) + "\" cannot be used as a file name.");
    const std::string fileName = Cp1252ToUtf8(name);
    const fs::path target = folder_ / fileName;

    FileInProgress file;
    if (file.Create(target)) {
        // A new name: written in place, and removed again if the writing fails.
        fill(file.fd);
        file.Close(target);
    } else if (errno == EEXIST) {
        // Replacing: the old file stays whole until the new one takes its name.
        CreatePartFile(file, folder_);
        fill(file.fd);
        file.Close(target);
        if (::rename(file.path.c_str(), target.c_str()) != 0)
            throw SystemError(errno, "Cannot write", target.string());
    } else {
        throw SystemError(errno, "Cannot create", target.string());
    }
    file.keep = true;

    // A name that differs from an earlier one of this command only in letter case takes its place.
    auto [earlier, fresh] = written_.try_emplace(FoldName(name), fileName);
    if (!fresh && earlier->second != fileName) {
        const fs::path old = folder_ / earlier->second;
        if (::unlink(old.c_str()) != 0 && errno != ENOENT)
            throw SystemError(errno, "Cannot delete", old.string());
        earlier->second = fileName;
    }
    return target;
}

fs::path FolderWriter::Write(std::string_view name, std::span<const std::uint8_t> bytes) {
    return Write(name, [&](int fd) { WriteAll(fd, bytes, folder_ / Cp1252ToUtf8(name)); });
}

void WriteAll(int fd, std::span<const std::uint8_t> bytes, const fs::path& path) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw SystemError(errno, "Cannot write", path.string());
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
}

} // namespace kelvot
