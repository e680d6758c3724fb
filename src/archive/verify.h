#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kelvot {

// Checks a file's bytes without trusting them and describes each problem in one line (UTF-8): a count
// of 0 or less, a directory past the end, data outside the file or inside the directory, overlapping
// entries, names that cannot be written as files. An empty result means the archive is sound.
std::vector<std::string> VerifyArchive(std::span<const std::uint8_t> file);

} // namespace kelvot
