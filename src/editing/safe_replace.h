#pragma once

// Replacing a file as a whole: the new bytes go to a fresh temporary file in the target's folder, which is
// flushed to disk and then renamed over the target. Until that rename the target is untouched, so a
// failure, a full disk or a killed process leaves it byte for byte as it was.
//
// Temporary files are named ".kelvot-edit-<process id>-<n>.tmp" and locked while written. A process
// killed while writing leaves its file behind; the next edit in that folder removes it once neither the
// process lives nor the lock is held (RemoveStaleTemporaryFiles).

#include "archive/file_ops.h"

#include <filesystem>
#include <optional>
#include <string_view>
#include <sys/types.h>

namespace kelvot {

inline constexpr std::string_view kTemporaryPrefix = ".kelvot-edit-";
inline constexpr std::string_view kTemporarySuffix = ".tmp";

class ReplacementFile {
  public:
    // Creates the temporary file beside `target`. With a mode the new file gets those permission bits,
    // else the ones a new file gets.
    ReplacementFile(std::filesystem::path target, std::optional<mode_t> mode);
    // Removes the temporary file unless it was committed.
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Where the new bytes are written, at its position.
    const FileHandle& file() const { return file_; }
    const std::filesystem::path& target() const { return target_; }

    // Flushes the file, renames it over the target and flushes the folder.
    void Commit();

  private:
    std::filesystem::path target_;
    std::filesystem::path temp_;
    FileHandle file_;
    bool committed_ = false;
};

// Removes temporary files that killed runs left in the folder. Files of living processes, and files
// still locked, stay. Nothing is reported: what cannot be removed now is tried again next time.
void RemoveStaleTemporaryFiles(const std::filesystem::path& folder);

// The folder a path's file lies in ("." for a bare name).
std::filesystem::path FolderOf(const std::filesystem::path& path);

} // namespace kelvot
