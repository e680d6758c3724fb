#include "archive/dat_format.h"

#include "archive/codepage.h"

#include <algorithm>
#include <optional>

namespace kelvot {

std::string_view TypeTag(EntryType type) {
    switch (type) {
    case EntryType::MIP:
        return "MIP";
    case EntryType::SRB:
        return "SRB";
    case EntryType::PBF:
        return "PBF";
    case EntryType::ThreeDO:
        return "3DO";
    case EntryType::OTH:
        break;
    }
    return "OTH";
}

bool IsPicture(EntryType type) {
    return type == EntryType::MIP || type == EntryType::SRB || type == EntryType::PBF;
}

namespace {

// 1-based position of the first case-insensitive occurrence of needle in the field, 0 if none.
std::size_t Find(std::span<const std::uint8_t, kNameFieldSize> field, std::string_view needle) {
    for (std::size_t start = 0; start + needle.size() <= field.size(); ++start) {
        bool match = true;
        for (std::size_t k = 0; k < needle.size() && match; ++k)
            match = FoldCase(field[start + k]) == static_cast<unsigned char>(needle[k]);
        if (match) return start + 1;
    }
    return 0;
}

} // namespace

std::string DecodeEntryName(std::span<const std::uint8_t, kNameFieldSize> field) {
    std::size_t length = 0;
    for (std::string_view ext : {".lp", ".gp", ".fb"}) {
        if (const std::size_t p = Find(field, ext); p > 0) {
            length = p + 2;
            break;
        }
    }
    if (length == 0) length = Find(field, ".") + 3;
    length = std::min<std::size_t>(length, field.size());
    const auto zero = std::find(field.begin(), field.begin() + length, 0);
    return std::string(field.begin(), zero);
}

EntryType ClassifyEntry(std::span<const std::uint8_t> file, std::int64_t dataOffset) {
    auto at = [&](std::int64_t k) -> std::optional<std::uint8_t> {
        const std::int64_t pos = dataOffset + k;
        if (pos < 0 || pos >= static_cast<std::int64_t>(file.size())) return std::nullopt;
        return file[static_cast<std::size_t>(pos)];
    };
    const auto d0 = at(0), d1 = at(1), d2 = at(2), d3 = at(3);
    if (d0 == 0x50 && d1 == 0x49 && d2 == 0x4D) return EntryType::MIP;
    if (d1 == 0x42 && d2 == 0x52 && d3 == 0x53) return EntryType::SRB;
    if (d0 == 0x50 && d1 == 0x41 && d2 == 0x4D && d3 == 0x42) return EntryType::PBF;
    if (d1 == 0x4F && d2 == 0x44 && d3 == 0x33) return EntryType::ThreeDO;
    return EntryType::OTH;
}

std::array<std::uint8_t, kRecordSize> EncodeDirectoryRecord(std::uint32_t size, std::string_view name,
                                                            std::uint32_t offset) {
    std::array<std::uint8_t, kRecordSize> record{};
    auto put32 = [&](std::size_t pos, std::uint32_t v) {
        for (int k = 0; k < 4; ++k)
            record[pos + k] = static_cast<std::uint8_t>(v >> (8 * k));
    };
    record[0] = 5;
    record[1] = 0;
    put32(kSizeField, size);
    put32(kSizeField + 4, size);
    std::copy_n(name.begin(), std::min(name.size(), kMaxNameLength), record.begin() + kNameField);
    put32(kOffsetField, offset);
    return record;
}

std::uint16_t ReadU16(std::span<const std::uint8_t> bytes, std::size_t pos) {
    return static_cast<std::uint16_t>(bytes[pos] | (bytes[pos + 1] << 8));
}

std::uint32_t ReadU32(std::span<const std::uint8_t> bytes, std::size_t pos) {
    return static_cast<std::uint32_t>(bytes[pos]) | (static_cast<std::uint32_t>(bytes[pos + 1]) << 8) |
           (static_cast<std::uint32_t>(bytes[pos + 2]) << 16) |
           (static_cast<std::uint32_t>(bytes[pos + 3]) << 24);
}

} // namespace kelvot

namespace kelvot {

bool HasControlCharacter(std::string_view name) {
    return std::any_of(name.begin(), name.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 0x20 || b == 0x7F || b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
    });
}

bool IsSafeFileName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("/\\") == std::string_view::npos && !HasControlCharacter(name);
}

} // namespace kelvot
