#pragma once

// Writing a whole archive file in one pass: the count and directory from memory, then the entries' bytes
// streamed from the old archive and from the files being packed, into a replacement of the target.

#include "archive/dat_format.h"
#include "archive/file_ops.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

namespace kelvot {

class UndoStep;

// Told the bytes of the new archive written so far and its whole length; may be empty.
using EditProgress = std::function<void(std::int64_t done, std::int64_t total)>;

// Offsets and sizes are signed 32-bit values to readers, so an archive stays below 2 GiB.
inline constexpr std::int64_t kMaxArchiveSize = 0x7FFFFFFF;

// A file whose bytes go into the archive, with the size its directory record states and the file it was
// when that size was read.
struct PackSource {
    std::filesystem::path Path;
    std::int64_t Size = 0;
    FileIdentity Identity;
};

// Bytes copied into the new archive: a range of the old archive (File = kOldArchive), of files[File], or
// bytes held in memory (File = kInMemory, Memory; Offset and Length unused).
inline constexpr std::int32_t kOldArchive = -1;
inline constexpr std::int32_t kInMemory = -2;
struct DataPiece {
    std::int32_t File = kOldArchive;
    std::int64_t Offset = 0;
    std::int64_t Length = 0;
    std::span<const std::uint8_t> Memory = {};
};

// A file to pack, with its size. Throws KelvotError when it cannot be read or is 2 GiB or longer.
PackSource SourceToPack(const std::filesystem::path& path);

// Throws KelvotError, before anything is written, when the archive would hold more than 32767 entries
// or be longer than kMaxArchiveSize.
void CheckArchiveLimits(std::int64_t entryCount, std::int64_t archiveSize);

// Appends one record as the writers produce it: 5, 0, the size twice, the name field, the offset.
void AppendRecord(std::vector<std::uint8_t>& head, std::uint32_t size,
                  std::span<const std::uint8_t, kNameFieldSize> nameField, std::uint32_t offset);
void AppendRecord(std::vector<std::uint8_t>& head, std::uint32_t size, std::string_view name,
                  std::uint32_t offset);

struct WriteResult {
    std::int64_t FileSize = 0;
    std::int64_t OtherLinks = 0; // other hard links of the file replaced, which keep its old bytes
};

// Writes `head` and then the pieces, in order, into a FileReplacement of `target` and commits it once it
// is complete. A source file that is no longer the one in `files`, or no longer of its size, is an error,
// and so is an `archive` that another program changed meanwhile. On failure the target is untouched and no
// temporary file remains. With `undo`, the file replaced is kept for it (undo.h): `locked` is the target's
// file under the edit lock (`archive` when null).
WriteResult WriteArchiveFile(const std::filesystem::path& target, std::span<const std::uint8_t> head,
                             std::span<const DataPiece> pieces, const FileHandle* archive,
                             std::span<const PackSource> files, const EditProgress& progress,
                             UndoStep* undo = nullptr, const FileHandle* locked = nullptr);

} // namespace kelvot
