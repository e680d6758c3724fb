#pragma once

// Writes the files of one command into one folder, none of them left half-written by a failure.
//
// A name no file has yet is created with O_EXCL and written in place (as tar does), and removed again if
// writing fails. An existing target (read-only, or a symbolic link pointing anywhere) is replaced as a
// whole: the bytes go to a fresh hidden file beside it, which then takes its name in one rename, so the
// old file stays untouched until the new one is complete. Nothing is ever written through a link.
// Hidden files that a killed run left in the folder are removed when a writer is made for it.
// Every step goes through the file layer (file_ops.h), so a test can make any of them fail.
//
// Names are entry names (Windows-1252 bytes) and become UTF-8 file names. The archive compares names
// ignoring letter case, so within one command a name equal to an earlier one in that way replaces the
// earlier file, as it would on a file system that ignores case.

#include "archive/file_ops.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

namespace kelvot {

class FolderWriter {
  public:
    explicit FolderWriter(std::filesystem::path folder);

    // Writes `name` through `fill`, which writes the whole content to the file it is given (at its
    // position) and throws KelvotError on failure. Returns the path written. Throws KelvotError (the
    // system's text for file errors); the folder then holds no partial file. The name must pass
    // IsSafeFileName.
    std::filesystem::path Write(std::string_view name, const std::function<void(const FileHandle&)>& fill);
    std::filesystem::path Write(std::string_view name, std::span<const std::uint8_t> bytes);

    const std::filesystem::path& folder() const { return folder_; }

  private:
    std::filesystem::path folder_;
    std::unordered_map<std::string, std::string> written_; // folded name -> file name written under it
};

} // namespace kelvot
