#pragma once

// Storing a picture into a picture entry: the inverse of the decoders, read from the same layout table.
// Only the first picture's pixel bytes and, for codes 0-2, the 64-byte colour table change; the header,
// Mapp, SubImages, later sub-pictures, PBF row padding and the spare nibble of odd-width 4-bit rows stay
// as they are. A picture exported with the decoders and stored back unchanged gives the entry's bytes back.
//
// 16-bit codes keep each channel at the value whose decoded form is nearest to the picture's (code 3:
// 5-6-5; code 4: bit 15 set when alpha is 128 or more; code 5: the alpha level nearest to alpha / 17).
// 4-bit codes: a picture indexed with at most 16 colours keeps its indices and palette in order (codes 1-2
// take its alpha into the fourth bytes, code 0 keeps the old ones); else, when every pixel's colour (and
// alpha, codes 1-2) is in the entry's table, the table stays and the indices follow; else the picture is
// reduced to 16 colours by libimagequant, alpha included for codes 1-2.

#include "images/picture_layout.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace kelvot {

// A picture as an image file holds it.
struct RgbaPicture {
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::vector<std::uint8_t> Rgba; // red, green, blue, alpha per pixel, top row first
    // A file indexed with at most 16 colours: its indices (one per pixel, top row first) and palette (red,
    // green, blue, alpha); both empty otherwise.
    std::vector<std::uint8_t> Indices;
    std::vector<std::array<std::uint8_t, 4>> Palette;
};

struct StoredPicture {
    std::vector<std::uint8_t> Entry; // the whole entry with the picture in it, as long as before
    std::int32_t ReducedFrom = 0;    // when a 4-bit picture had to be reduced to 16 colours: how many it had
};

// nullopt when the entry holds no picture that decodes, or the picture's size is not the entry's.
std::optional<StoredPicture> StorePicture(PictureKind kind, EntryBytes entry, const RgbaPicture& picture);

} // namespace kelvot
