#include "archive/extract.h"

#include "archive/codepage.h"
#include "archive/dat_format.h"
#include "archive/error.h"
#include "archive/folder_writer.h"

#include <cerrno>
#include <fcntl.h>
#include <numeric>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvot {

namespace fs = std::filesystem;

namespace {

std::string Quoted(std::string_view cp1252Name) {
    return "\"" + Cp1252ToUtf8(cp1252Name) + "\"";
}

std::string NotExtracted(std::int32_t index, std::string_view name, const std::string& why) {
    return Quoted(name) + " (entry " + std::to_string(index) + ") was not extracted: " + why;
}

// Copies byte ranges of the open archive into target files: in the kernel where it can
// (copy_file_range), else through one reused buffer read with pread.
class RangeCopier {
  public:
    RangeCopier(int archive, const fs::path& archivePath) : archive_(archive), archivePath_(archivePath) {}

    void Copy(std::int64_t offset, std::int64_t size, int out, std::string_view name,
              const fs::path& target) {
        off_t in = offset;
        while (size > 0) {
            std::int64_t n =
                inKernel_ ? CopyInKernel(in, size, out, name, target) : CopyByBuffer(in, size, out, target);
            if (n == 0) {
                if (inKernel_) { // some file systems answer 0 instead of refusing; let pread decide
                    inKernel_ = false;
                    continue;
                }
                throw KelvotError(EIO, "The archive file " + archivePath_.string() +
                                           " ended before the data of " + Quoted(name) +
                                           "; has it changed since it was opened?");
            }
            size -= n;
        }
    }

  private:
    std::int64_t CopyInKernel(off_t& in, std::int64_t size, int out, std::string_view name,
                              const fs::path& target) {
        for (;;) {
            const ssize_t n =
                ::copy_file_range(archive_, &in, out, nullptr, static_cast<std::size_t>(size), 0);
            if (n >= 0) return n;
            if (errno == EINTR) continue;
            if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
                errno == EPERM) {
                inKernel_ = false; // not between these files; copy through memory from here on
                return CopyByBuffer(in, size, out, target);
            }
            throw SystemError(errno, "Cannot copy " + Quoted(name) + " from the archive to", target.string());
        }
    }

    std::int64_t CopyByBuffer(off_t& in, std::int64_t size, int out, const fs::path& target) {
        constexpr std::int64_t kChunk = 1 << 20;
        buffer_.resize(static_cast<std::size_t>(std::min(size, kChunk)));
        for (;;) {
            const ssize_t n = ::pread(archive_, buffer_.data(), buffer_.size(), in);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) throw SystemError(errno, "Cannot read", archivePath_.string());
            WriteAll(out, std::span(buffer_).first(static_cast<std::size_t>(n)), target);
            in += n;
            return n;
        }
    }

    int archive_;
    const fs::path& archivePath_;
    bool inKernel_ = true;
    std::vector<std::uint8_t> buffer_;
};

struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

} // namespace

std::vector<std::int32_t> AllEntries(const ArchiveModel& model) {
    std::vector<std::int32_t> indices(static_cast<std::size_t>(model.EntryCount));
    std::iota(indices.begin(), indices.end(), 0);
    return indices;
}

std::vector<std::int32_t> EntriesNamed(const ArchiveModel& model, const std::vector<std::string>& names) {
    std::vector<std::int32_t> indices;
    std::string missing;
    int missingCount = 0;
    for (const std::string& text : names) {
        const auto name = Utf8ToCp1252(text); // text Windows-1252 cannot write names no entry
        const auto index = name ? model.FindEntry(*name) : std::nullopt;
        if (index) {
            indices.push_back(*index);
        } else {
            missing += (missingCount++ == 0 ? "" : ", ") + ("\"" + text + "\"");
        }
    }
    if (missingCount == 1) throw KelvotError(kNoSuchEntry, "No entry is named " + missing + ".");
    if (missingCount > 1) throw KelvotError(kNoSuchEntry, "No entries are named " + missing + ".");
    return indices;
}

OutputResult ExtractEntries(const ArchiveModel& model, const fs::path& archiveFile,
                            const std::vector<std::int32_t>& indices, const fs::path& folder,
                            const Progress& progress) {
    Fd archive{::open(archiveFile.c_str(), O_RDONLY | O_CLOEXEC)};
    if (archive.fd < 0) throw SystemError(errno, "Cannot open", archiveFile.string());
    struct stat st {};
    if (::fstat(archive.fd, &st) != 0) throw SystemError(errno, "Cannot read", archiveFile.string());
    const std::int64_t fileLength = st.st_size;

    const DirectoryTable& dir = model.Directory;
    FolderWriter writer(folder);
    RangeCopier copier(archive.fd, archiveFile);
    OutputResult result;
    const auto total = static_cast<std::int32_t>(indices.size());
    for (std::int32_t k = 0; k < total; ++k) {
        const std::int32_t i = indices[k];
        const std::string& name = dir.EntryNames[i];
        // The fields are unsigned 32-bit numbers in the file.
        const std::int64_t offset = static_cast<std::uint32_t>(dir.EntryOffsets[i]);
        const std::int64_t size = static_cast<std::uint32_t>(dir.EntrySizes[i]);
        if (!IsSafeFileName(name)) {
            result.Problems.push_back({i, NotExtracted(i, name, "its name cannot be used as a file name.")});
        } else if (offset + size > fileLength) {
            result.Problems.push_back(
                {i, NotExtracted(i, name,
                                 "its data (offset " + std::to_string(offset) + ", size " +
                                     std::to_string(size) + ") lies outside the archive file (" +
                                     std::to_string(fileLength) + " bytes).")});
        } else {
            const fs::path target = folder / Cp1252ToUtf8(name);
            result.Written.push_back(
                writer.Write(name, [&](int out) { copier.Copy(offset, size, out, name, target); }));
        }
        if (progress) progress(k + 1, total);
    }
    return result;
}

} // namespace kelvot
