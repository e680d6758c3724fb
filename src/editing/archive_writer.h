#pragma once

// Writing a whole archive file in one pass: the count and directory from memory, then the entries' bytes
// streamed from the old archive and from the files being packed, into a replacement of the target.

#include "archive/dat_format.h"
#include "archive/file_ops.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace kelvot {

// Told the bytes of the new archive written so far and its whole length; may be empty.
using EditProgress = std::function<void(std::int64_t done, std::int64_t total)>;

// Offsets and sizes are signed 32-bit values to readers, so an archive stays below 2 GiB.
inline constexpr std::int64_t kMaxArchiveSize = 0x7FFFFFFF;

// A file whose bytes go into the archive, with the size its directory record states.
struct PackSource {
    std::filesystem::path Path;
    std::int64_t Size = 0;
};

// Bytes copied into the new archive: a range of the old archive (File = -1) or of files[File].
struct DataPiece {
    std::int32_t File = -1;
    std::int64_t Offset = 0;
    std::int64_t Length = 0;
};

// The size of a file to pack. Throws KelvotError when it cannot be read or is 2 GiB or longer.
std::int64_t SizeOfFileToPack(const std::filesystem::path& path);

// Throws KelvotError, before anything is written, when the archive would hold more than 32767 entries
// or be longer than kMaxArchiveSize.
void CheckArchiveLimits(std::int64_t entryCount, std::int64_t archiveSize);

// Appends one record as the writers produce it: 5, 0, the size twice, the name field, the offset.
void AppendRecord(std::vector<std::uint8_t>& head, std::uint32_t size,
                  std::span<const std::uint8_t, kNameFieldSize> nameField, std::uint32_t offset);
void AppendRecord(std::vector<std::uint8_t>& head, std::uint32_t size, std::string_view name,
                  std::uint32_t offset);

// Writes `head` and then the pieces, in order, into a temporary file beside `target` and renames it over
// the target once it is complete and flushed. A file whose size is no longer the one in `files` is an
// error. Returns the length written. On failure the target is untouched and no temporary file remains.
std::int64_t WriteArchiveFile(const std::filesystem::path& target, std::optional<mode_t> mode,
                              std::span<const std::uint8_t> head, std::span<const DataPiece> pieces,
                              const FileHandle* archive, std::span<const PackSource> files,
                              const EditProgress& progress);

} // namespace kelvot
