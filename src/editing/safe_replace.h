#pragma once

// Replacing a file as a whole: the new bytes go to a fresh temporary file in the target's folder, which is
// flushed to disk and then renamed over the target. Until that rename the target is untouched, so a
// failure, a full disk or a killed process leaves it byte for byte as it was.
//
// The temporary files and their cleaning after a killed run are described in temporary_files.h.

#include "archive/file_ops.h"
#include "archive/temporary_files.h"

#include <filesystem>
#include <optional>
#include <string_view>
#include <sys/types.h>

namespace kelvot {

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

// The folder a path's file lies in ("." for a bare name).
std::filesystem::path FolderOf(const std::filesystem::path& path);

} // namespace kelvot
