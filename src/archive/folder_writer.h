#pragma once

// Writes the files of one command (extract, export) into one folder, each through a FileReplacement: the
// bytes go to a hidden file that takes the real name only once it is complete, so a failure or a killed
// run never leaves a partial file under an entry's name, and an existing file is replaced as a whole,
// keeping its permissions and owner. A symbolic link at a name is replaced, never written through. The
// archive being read is never replaced, whatever name reaches it. Hidden files that a killed run left in
// the folder are removed when a writer is made for it. Every step goes through the file layer
// (file_ops.h), so a test can make any of them fail.
//
// Names are entry names (Windows-1252 bytes) and become UTF-8 file names. The archive compares names
// ignoring letter case, so within one command a name equal to an earlier one in that way replaces the
// earlier file, as it would on a file system that ignores case, and the writer says whose file it was.

#include "archive/file_ops.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

namespace kelvot {

struct WrittenFile {
    std::filesystem::path Path;
    // The tag of an earlier file of this command that this one replaced because their names are equal
    // but for letter case; nullopt when there was none, or it had the same tag.
    std::optional<std::int32_t> Displaced;
};

class FolderWriter {
  public:
    // `source`: the archive the command reads, which is never replaced.
    FolderWriter(std::filesystem::path folder, std::optional<FileIdentity> source);

    // Writes `name` through `fill`, which writes the whole content to the file it is given (at its
    // position) and throws KelvotError on failure. `tag` says which entry the file is for. Throws
    // KelvotError (the system's text for file errors, number kWouldReplaceSource for the archive itself);
    // the folder then holds no partial file. The name must pass IsSafeFileName.
    WrittenFile Write(std::string_view name, std::int32_t tag,
                      const std::function<void(const FileHandle&)>& fill);
    WrittenFile Write(std::string_view name, std::int32_t tag, std::span<const std::uint8_t> bytes);

  private:
    struct Earlier {
        std::string FileName;
        std::int32_t Tag;
    };

    std::filesystem::path folder_;
    std::optional<FileIdentity> source_;
    std::unordered_map<std::string, Earlier> written_; // folded name -> the last file written under it
};

} // namespace kelvot
