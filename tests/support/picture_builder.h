#pragma once

// Writes MIP, SRB and PBF picture entries from pixel values, for tests, the demo archive and the
// benchmarks. The offsets are written out here on their own rather than taken from the decoders' layout
// table, so a wrong offset on either side shows up in the tests.
//
//   PictureSpec spec{.Kind = PictureKind::Pbf, .FormatCode = 5, .Width = 2, .Height = 1,
//                    .Pixels = {0xF0F0, 0x0FFF}};
//   std::vector<std::uint8_t> entry = EncodePicture(spec);

#include "images/picture_layout.h"

#include <array>
#include <cstdint>
#include <vector>

namespace kelvot {

struct PictureSpec {
    PictureKind Kind = PictureKind::Mip;
    std::uint8_t FormatCode = 0; // 0-2: 4-bit indexed; 3 and up: 16-bit pixels (6 and up are never decoded)
    std::int16_t Width = 0;
    std::int16_t Height = 0;
    // Width × Height values, top row first, each row left to right: colour indices 0-15 for codes 0-2,
    // 16-bit pixel values otherwise. Empty when Width or Height is 0 or less (a header without pixels).
    std::vector<std::uint16_t> Pixels;
    std::array<std::uint8_t, 64> Colours{}; // codes 0-2: 16 entries of blue, green, red, transparency
    bool LayoutB = false;       // MIP, SRB codes 0-2: marker 0x40, size and colour table in layout B
    std::uint8_t Marker = 0;    // the marker byte otherwise (MIP, SRB); 0x40 only with codes 3 and up
    std::uint8_t Mapp = 0;      // MIP, SRB
    std::uint8_t SubImages = 1; // MIP, SRB
    std::uint8_t PadByte = 0;   // row padding of PBF entries and the spare nibble of odd-width 4-bit rows
};

// The entry: header, colour table (codes 0-2), the pixel rows and nothing after them. 4-bit rows of an
// odd width take (width + 1) / 2 bytes. Throws std::invalid_argument for a spec that contradicts itself.
std::vector<std::uint8_t> EncodePicture(const PictureSpec& spec);

// A picture of pseudo-random pixels (and colours for codes 0-2); the same seed gives the same picture.
PictureSpec RandomPicture(PictureKind kind, std::uint8_t formatCode, std::int16_t width, std::int16_t height,
                          std::uint32_t seed);

// Where the first pixel byte of the described picture lies in its entry.
std::size_t PixelOffset(const PictureSpec& spec);

} // namespace kelvot
