#include "editing/archive_writer.h"

#include "archive/error.h"
#include "archive/file_replacement.h"
#include "editing/undo.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace kelvot {

namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kWriteBackPiece = std::int64_t{32} << 20;
// Files up to this size are read into one buffer and written with their neighbours: a copy in the kernel
// per file costs more than the copy through memory when files are small and many.
constexpr std::int64_t kSmallFile = std::int64_t{64} << 10;
constexpr std::size_t kBatch = std::size_t{1} << 20;

} // namespace

PackSource SourceToPack(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) throw SystemError(errno, "Cannot open", path.string());
    if (!S_ISREG(st.st_mode)) throw NotARegularFile(path, st.st_mode);
    if (st.st_size > kMaxArchiveSize)
        throw KelvotError(EFBIG, path.string() + " is " + std::to_string(st.st_size) +
                                     " bytes long; a DAT file cannot hold a file of 2 GiB or more. "
                                     "Nothing was written.");
    return {path, st.st_size, {st.st_dev, st.st_ino}};
}

void CheckArchiveLimits(std::int64_t entryCount, std::int64_t archiveSize) {
    if (entryCount > kMaxEntryCount)
        throw KelvotError(EFBIG, "The DAT file would hold " + std::to_string(entryCount) +
                                     " entries; a DAT file holds at most 32767. Nothing was written.");
    if (archiveSize > kMaxArchiveSize)
        throw KelvotError(EFBIG, "The DAT file would be " + std::to_string(archiveSize) +
                                     " bytes long; a DAT file cannot grow to 2 GiB or more. "
                                     "Nothing was written.");
}

void AppendRecord(std::vector<std::uint8_t>& head, std::uint32_t size,
                  std::span<const std::uint8_t, kNameFieldSize> nameField, std::uint32_t offset) {
    auto record = EncodeDirectoryRecord(size, {}, offset);
    std::copy(nameField.begin(), nameField.end(), record.begin() + kNameField);
    head.insert(head.end(), record.begin(), record.end());
}

void AppendRecord(std::vector<std::uint8_t>& head, std::uint32_t size, std::string_view name,
                  std::uint32_t offset) {
    const auto record = EncodeDirectoryRecord(size, name, offset);
    head.insert(head.end(), record.begin(), record.end());
}

WriteResult WriteArchiveFile(const fs::path& target, std::span<const std::uint8_t> head,
                             std::span<const DataPiece> pieces, const FileHandle* archive,
                             std::span<const PackSource> files, const EditProgress& progress, UndoStep* undo,
                             const FileHandle* locked) {
    // Neighbouring ranges of the old archive become one copy.
    std::vector<DataPiece> merged;
    for (const DataPiece& piece : pieces) {
        if (piece.File == kInMemory) {
            if (!piece.Memory.empty()) merged.push_back(piece);
            continue;
        }
        if (piece.Length == 0) continue;
        if (!merged.empty() && piece.File == kOldArchive && merged.back().File == kOldArchive &&
            merged.back().Offset + merged.back().Length == piece.Offset)
            merged.back().Length += piece.Length;
        else
            merged.push_back(piece);
    }
    std::int64_t total = static_cast<std::int64_t>(head.size());
    for (const DataPiece& piece : merged)
        total += piece.File == kInMemory ? static_cast<std::int64_t>(piece.Memory.size()) : piece.Length;

    struct stat opened {};
    if (archive && ::fstat(archive->fd(), &opened) != 0)
        throw SystemError(errno, "Cannot read", target.string());

    ReplaceOptions options;
    if (undo) {
        if (!locked) locked = archive;
        options.BeforeNaming = [undo, locked](const FileHandle& file, const fs::path& name, bool replacing) {
            undo->BeforeNaming(name, locked, file, replacing);
        };
    }
    FileReplacement out(target, options);
    // The whole file's blocks at once: ext4 then copies pieces that do not start on a page boundary in
    // about two thirds of the time. Only a hint; where it fails, the writes below fail as they would have.
    (void)::fallocate(out.file().fd(), FALLOC_FL_KEEP_SIZE, 0, total);
    std::int64_t done = 0;
    std::int64_t writeBackFrom = 0;
    auto advance = [&](std::int64_t n) {
        done += n;
        // Start writing what is done to disk now, so the flush before the rename has little left to do.
        if (done - writeBackFrom >= kWriteBackPiece || done == total) {
            ::sync_file_range(out.file().fd(), writeBackFrom, done - writeBackFrom, SYNC_FILE_RANGE_WRITE);
            writeBackFrom = done;
        }
        if (progress) progress(done, total);
    };
    // The head and small files gather here and go out in large writes.
    std::vector<std::uint8_t> batch(head.begin(), head.end());
    batch.reserve(std::max(kBatch, head.size()));
    auto writeBatch = [&] {
        WriteBytes(out.file(), batch);
        const auto n = static_cast<std::int64_t>(batch.size());
        batch.clear();
        if (n > 0) advance(n);
    };
    for (const DataPiece& piece : merged) {
        if (piece.File == kOldArchive) {
            writeBatch();
            CopyBytes(*archive, piece.Offset, piece.Length, out.file(), advance);
            continue;
        }
        if (piece.File == kInMemory) {
            writeBatch();
            WriteBytes(out.file(), piece.Memory);
            advance(static_cast<std::int64_t>(piece.Memory.size()));
            continue;
        }
        const PackSource& source = files[static_cast<std::size_t>(piece.File)];
        std::int64_t sizeNow = 0;
        const FileHandle in = OpenForReading(source.Path, &sizeNow);
        if (sizeNow != source.Size || IdentityOf(in) != source.Identity)
            throw KelvotError(EAGAIN, source.Path.string() + " changed while the DAT file was written. "
                                                             "Nothing was changed; please try again.");
        if (piece.Length > kSmallFile) {
            writeBatch();
            CopyBytes(in, piece.Offset, piece.Length, out.file(), advance);
            continue;
        }
        const auto length = static_cast<std::size_t>(piece.Length);
        if (batch.size() + length > kBatch) writeBatch();
        batch.resize(batch.size() + length);
        ReadExactly(in, piece.Offset, std::span(batch).last(length));
    }
    writeBatch();
    // Another program may have changed or replaced the archive meanwhile; its change must not be lost.
    struct stat now {};
    if (archive &&
        (::stat(target.c_str(), &now) != 0 || now.st_dev != opened.st_dev || now.st_ino != opened.st_ino ||
         now.st_size != opened.st_size || now.st_mtim.tv_sec != opened.st_mtim.tv_sec ||
         now.st_mtim.tv_nsec != opened.st_mtim.tv_nsec))
        throw KelvotError(ESTALE, target.string() + " was changed by another program while it was rewritten. "
                                                    "Nothing was changed; please open it again.");
    try {
        out.Commit();
    } catch (...) {
        if (undo) undo->Forget();
        throw;
    }
    if (undo) undo->Settle();
    return {total, out.oldLinks() > 1 ? out.oldLinks() - 1 : 0};
}

} // namespace kelvot
