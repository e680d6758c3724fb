#pragma once

// Archives no writer would make, built in code: counts that the file cannot hold, sizes and offsets at and
// beyond the signed 32-bit limit and past the end of the file, overlapping entries, names that try to
// leave a folder or hold control and high bytes, and pictures whose headers give negative, zero or huge
// sizes. Every command must meet each of them with a clear message or a sound result.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kelvot::testkit {

struct HostileArchive {
    std::string name; // a file name for it, unique in the set: "count-0.dat", ...
    std::vector<std::uint8_t> bytes;
};

// The whole set. One of them holds 32,767 entries (about 1 MiB); the rest are small.
std::vector<HostileArchive> HostileArchives();

// Archives too large to build in memory: their bytes, then a hole up to `length`, which costs no disk.
struct SparseArchive {
    std::vector<std::uint8_t> bytes;
    std::uint64_t length = 0;
};
// 32,767 entries that each cover the whole 4 GiB file: 140 TB to extract, far beyond any disk.
SparseArchive ExtractionBomb();
// One code-5 MIP picture of 32767 x 16383 pixels whose (zero) pixels are all there: about 1 GiB on no
// disk, 1.5 GiB decoded.
SparseArchive HugePicture();
// Writes it: the bytes, then the hole.
void WriteSparse(const std::filesystem::path& path, const SparseArchive& archive);

// Names in the set climb at most two folders up ("../../E4.LP") or name an absolute path, this one:
// a test that writes into <root>/a/b sees any escape inside <root> or at this path.
inline constexpr const char* kAbsoluteEscape = "/ESC3.LP";

} // namespace kelvot::testkit
