#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace kelvot {

// Checks an archive without trusting it and describes each problem in one line (UTF-8): a count of 0 or
// less, a directory past the end, data outside the file or inside the directory, overlapping entries,
// names that cannot be written as files (control characters among them). Offsets and sizes are the
// record's unsigned fields, with the rule extract uses. An empty result means the archive is sound.
// `head` holds the file's first bytes, at least its count and directory (as far as the file goes);
// `fileSize` is the whole file's length. Nothing else of the file is needed.
std::vector<std::string> VerifyArchive(std::span<const std::uint8_t> head, std::int64_t fileSize);
// The same for a file, reading only its count and directory.
std::vector<std::string> VerifyArchiveFile(const std::filesystem::path& path);

} // namespace kelvot
