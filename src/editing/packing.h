#pragma once

// Which files can go into an archive, and creating a new archive from the files of a folder.

#include "editing/archive_writer.h"
#include "editing/undo.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kelvot {

struct PackableFile {
    std::filesystem::path Path;
    std::string Name; // the entry name: the file's name as Windows-1252 bytes
};

// The entry name a file of this name gets, or nothing when it cannot be packed: the name must be
// writable as Windows-1252 in at most 12 characters, and the text after its last dot must be 2 or 3
// characters long and not "dat" (letter case ignored), so no archive is ever packed into another.
std::optional<std::string> PackableName(const std::filesystem::path& fileName);
// Why a file whose name PackableName refuses is left out.
inline constexpr std::string_view kUnpackableName =
    "a name of at most 12 Windows-1252 characters with an extension of 2 or 3 characters, not dat, is needed";

// A file that is not packed, and why (a sentence without its final stop, UTF-8).
struct LeftOutFile {
    std::filesystem::path Path;
    std::string Why;

    // "PATH is not <done>: <why>.", as both front ends report it.
    std::string Describe(std::string_view done) const {
        return Path.string() + " is not " + std::string(done) + ": " + Why + ".";
    }
};

struct PackCandidates {
    std::vector<PackableFile> Packable;
    std::vector<LeftOutFile> LeftOut;
};

// The packable files of a folder (not its subfolders; hidden files too), in the order the folder lists
// them, and the files left out: names that cannot be packed, and symbolic links that lead out of the
// folder, which would pack a file the folder does not hold (a link inside it is packed as its target).
// `skip` names a file to pass over without a word, by any name or link: the archive being made.
PackCandidates SelectPackableFiles(const std::filesystem::path& folder,
                                   const std::filesystem::path& skip = {});

// Writes a complete archive of the files, in their order, to `target`, replacing a file of that name
// (read-only too, or the file a link names) only once the new one is complete, under the edit lock of an
// existing target. Throws KelvotError; a failed write leaves no file behind and an existing target as it
// was. Given an UndoStep, it keeps what undo needs (undo.h).
WriteResult WritePackedArchive(std::span<const PackableFile> files, const std::filesystem::path& target,
                               const EditProgress& progress = {}, UndoStep* undo = nullptr);

struct CreateResult {
    bool Created = false; // false: the folder holds nothing packable, and nothing was touched
    std::filesystem::path Target;
    std::int32_t EntryCount = 0;
    std::int64_t FileSize = 0;
    std::vector<LeftOutFile> LeftOut;
    std::int64_t OtherLinks = 0; // other hard links of a file replaced, which keep its old bytes
};

// Packs the folder's packable files into a new archive named `archiveName` (Windows-1252, as accepted by
// CheckNewArchiveName) in that folder.
CreateResult CreateArchive(const std::filesystem::path& folder, std::string_view archiveName,
                           const EditProgress& progress = {}, UndoStep* undo = nullptr);

} // namespace kelvot
