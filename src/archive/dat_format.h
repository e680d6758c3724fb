#pragma once

// The DAT layout: a signed 16-bit entry count, a directory of 27-byte records, then the entries' bytes.
// Record: 5, 0, DataSize (u32), DataSize again, NameField (13 bytes), DataOffset (u32); little-endian.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kelvot {

inline constexpr std::int64_t kCountSize = 2;
inline constexpr std::int64_t kRecordSize = 27;
inline constexpr std::int64_t kNameFieldSize = 13;
inline constexpr std::size_t kMaxNameLength = 12;
inline constexpr std::int32_t kMaxEntryCount = 32767;

// Offsets inside a record.
inline constexpr std::int64_t kSizeField = 2;
inline constexpr std::int64_t kNameField = 10;
inline constexpr std::int64_t kOffsetField = 23;

constexpr std::int64_t RecordStart(std::int64_t index) {
    return kCountSize + kRecordSize * index;
}
constexpr std::int64_t DirectoryEnd(std::int64_t count) {
    return RecordStart(count);
}

enum class EntryType : std::uint8_t { MIP, SRB, PBF, ThreeDO, OTH };

// "MIP", "SRB", "PBF", "3DO" or "OTH".
std::string_view TypeTag(EntryType type);
bool IsPicture(EntryType type);

// The name a record's 13-byte name field stands for, as Windows-1252 bytes. Names with the extensions
// lp, gp or fb end after those two letters; other names keep three characters after their first dot
// (a name without a dot keeps its first three characters). The result is cut at its first zero byte.
std::string DecodeEntryName(std::span<const std::uint8_t, kNameFieldSize> field);

// Whether an entry's data lies wholly inside a file of `fileSize` bytes. The record's offset and size are
// unsigned 32-bit numbers, and every command (list, verify, extract, export, the edits) asks this the same
// way, so an entry one of them can read is one all of them can.
constexpr bool DataInsideFile(std::uint32_t offset, std::uint32_t size, std::int64_t fileSize) {
    return std::int64_t{offset} + std::int64_t{size} <= fileSize;
}

// The type an entry's first four data bytes give it; a byte outside the file matches no test.
EntryType ClassifyEntry(std::span<const std::uint8_t> file, std::int64_t dataOffset);

// One directory record as the writers produce it. The name must be at most 12 bytes.
std::array<std::uint8_t, kRecordSize> EncodeDirectoryRecord(std::uint32_t size, std::string_view name,
                                                            std::uint32_t offset);

std::uint16_t ReadU16(std::span<const std::uint8_t> bytes, std::size_t pos);
std::uint32_t ReadU32(std::span<const std::uint8_t> bytes, std::size_t pos);

} // namespace kelvot

namespace kelvot {

// Whether a Windows-1252 name holds a control character: bytes 0x01-0x1F and 0x7F, and the five bytes
// Windows-1252 leaves unassigned, which become C1 controls as text. Printed raw, such a name could move the
// cursor of the terminal it is printed on or look like two names.
bool HasControlCharacter(std::string_view name);

// Whether a name can become a file inside a chosen folder and stay there: not empty, not "." or "..",
// free of "/" and "\", and free of control characters.
bool IsSafeFileName(std::string_view name);

} // namespace kelvot
