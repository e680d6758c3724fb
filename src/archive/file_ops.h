#pragma once

// The file operations of every command that reads an archive or writes files (extract, export, create,
// add, remove, rename), each a thin wrapper of one system call that throws KelvotError with the system's
// text. One hook can make any step fail with a chosen error number, so the tests can show that a failure
// at any point leaves the archive as it was and no file half-written.

#include "archive/error.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <sys/types.h>
#include <utility>

namespace kelvot {

enum class FileStep {
    Open,   // opening an existing file (a source, or the archive)
    Create, // creating a new file (a temporary one, or an extracted or exported file)
    Read,   // reading bytes of a source or of the archive
    Write,  // writing bytes
    Flush,  // flushing a written file to disk, or closing it, where a late write failure shows
    Rename, // putting the temporary file in place of the target
};

// Returns an error number to make the step fail as if the system had refused it, or 0 to let it run.
using FileFaultHook = std::function<int(FileStep step, const std::filesystem::path& path)>;

// For tests: installs the hook (an empty one lets every step run) and returns the one it replaces.
FileFaultHook SetFileFaultHook(FileFaultHook hook);

// An open file descriptor, closed when the handle goes. `shown` is the path error messages name: the
// target rather than the temporary file it is written through.
class FileHandle {
  public:
    FileHandle() = default;
    FileHandle(int fd, std::filesystem::path path, std::filesystem::path shown);
    FileHandle(FileHandle&& other) noexcept;
    FileHandle& operator=(FileHandle&& other) noexcept;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle();

    int fd() const { return fd_; }
    const std::filesystem::path& path() const { return path_; }
    const std::filesystem::path& shown() const { return shown_; }
    void Close() noexcept;
    // Gives up the descriptor without closing it.
    int Release() noexcept { return std::exchange(fd_, -1); }

  private:
    int fd_ = -1;
    std::filesystem::path path_;
    std::filesystem::path shown_;
};

// The failure to report for a path that names something other than a regular file (a folder, a FIFO, a
// device, a socket), from its st_mode.
KelvotError NotARegularFile(const std::filesystem::path& path, mode_t mode);

// Opens an existing regular file for reading (step Open); `size`, when given, is told its length then.
FileHandle OpenForReading(const std::filesystem::path& path, std::int64_t* size = nullptr);
// Opens an existing regular file for reading and writing in place, without truncating it (step Open).
FileHandle OpenForUpdate(const std::filesystem::path& path);
// Creates a file that must not exist yet, following no link (step Create). A failure, errno EEXIST too, is
// thrown as SystemError(errno, what, shown).
FileHandle CreateNewFile(const std::filesystem::path& path, const std::string& what,
                         const std::filesystem::path& shown, mode_t mode);

// Creates an unnamed file in the folder (O_TMPFILE), which goes with its descriptor unless it is given a
// name (step Create). nullopt where the file system, or a system without /proc, cannot make or name one;
// other failures are thrown as SystemError(errno, what, shown).
std::optional<FileHandle> CreateUnnamedFile(const std::filesystem::path& folder, const std::string& what,
                                            const std::filesystem::path& shown, mode_t mode);
// Gives an unnamed file the name `path`, which must not exist yet (step `step`). A failure, EEXIST too,
// is thrown as SystemError(errno, what, shown).
void NameUnnamedFile(const FileHandle& file, const std::filesystem::path& path, FileStep step,
                     const std::string& what, const std::filesystem::path& shown);

// Gives the file at `from` a second name `to`, which must not exist yet (step Create). A failure, EEXIST too,
// is thrown as SystemError(errno, what, shown).
void LinkFile(const std::filesystem::path& from, const std::filesystem::path& to, const std::string& what,
              const std::filesystem::path& shown);

std::int64_t FileSize(const FileHandle& file);

// Which file a descriptor or a name stands for, whatever path reaches it.
struct FileIdentity {
    dev_t Device = 0;
    ino_t Inode = 0;
    bool operator==(const FileIdentity&) const = default;
};
FileIdentity IdentityOf(const FileHandle& file);

// What changes whenever a file's bytes do: which file it is, its length and the time its inode last
// changed (a write, a truncation; no program can set it back).
struct FileStamp {
    FileIdentity Identity;
    std::int64_t Size = 0;
    std::int64_t ChangedNs = 0;
    bool operator==(const FileStamp&) const = default;
};
FileStamp StampOf(const FileHandle& file);
// The stamp of the file a path names now, following links; nullopt when it cannot be read.
std::optional<FileStamp> StampOfPath(const std::filesystem::path& path);

// Reads exactly bytes.size() bytes at the offset (step Read); a file that ends early is an error.
void ReadExactly(const FileHandle& file, std::int64_t offset, std::span<std::uint8_t> bytes);
// Tells the system these bytes will be read soon, so it can fetch many scattered pieces from the disk at
// once rather than one read at a time. Only advice: nothing fails.
void AdviseWillRead(const FileHandle& file, std::int64_t offset, std::int64_t length);

// Writes all the bytes at the file's position (step Write).
void WriteBytes(const FileHandle& file, std::span<const std::uint8_t> bytes);
// Writes all the bytes at the offset, leaving the file's length alone (step Write).
void WriteBytesAt(const FileHandle& file, std::int64_t offset, std::span<const std::uint8_t> bytes);
// Copies `length` bytes from `offset` of one file to the position of the other, in the kernel where it
// can (steps Read and Write). `copied` is told the bytes done after each piece; it may be empty.
void CopyBytes(const FileHandle& from, std::int64_t offset, std::int64_t length, const FileHandle& to,
               const std::function<void(std::int64_t)>& copied);
// Flushes the file's bytes to disk (step Flush).
void FlushFile(const FileHandle& file);
// Closes a written file, reporting a write that the system only refuses now, as NFS may (step Flush).
void CloseWrittenFile(FileHandle& file);
// Renames a file over another in one step (step Rename).
void RenameOver(const std::filesystem::path& from, const std::filesystem::path& to,
                const std::filesystem::path& shown);

} // namespace kelvot
