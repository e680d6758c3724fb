#pragma once

// How the picture targets read their input: an entry's bytes, then two trailing bytes that choose the
// picture kind and the format code, so one target reaches every decoder of every kind.

#include "images/picture_layout.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace kelvot::fuzz {

struct PictureInput {
    PictureKind Kind = PictureKind::Mip;
    std::vector<std::uint8_t> Entry;
};

// The last byte chooses the kind (value % 3). The byte before it, unless its top bit is set, becomes the
// entry's format code (value % 8: the six codes that decode and two that do not), written where the
// kind keeps it if the entry is long enough; with the top bit set the entry keeps its own code.
inline std::optional<PictureInput> ReadPictureInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return std::nullopt;
    PictureInput input;
    input.Kind = static_cast<PictureKind>(data[size - 1] % 3);
    input.Entry.assign(data, data + size - 2);
    const std::uint8_t code = data[size - 2];
    const std::size_t at = LayoutOf(input.Kind).FormatCode;
    if ((code & 0x80) == 0 && at < input.Entry.size()) input.Entry[at] = code % 8;
    return input;
}

// The two trailing bytes that keep an entry as it is, for seeds made from whole entries.
inline std::vector<std::uint8_t> PictureInputBytes(PictureKind kind, std::vector<std::uint8_t> entry) {
    entry.push_back(0x80);
    entry.push_back(static_cast<std::uint8_t>(kind));
    return entry;
}

} // namespace kelvot::fuzz
