#pragma once

// Uncompressed Windows BMP files made from a decoded picture or mask: the 14-byte file header, the
// 40-byte info header, the colour table (16 entries for 4 bits, 256 for 8, none for 24) with each
// entry's fourth byte as the palette left it, and the rows bottom-up, each padded to 4 bytes.
// bfSize holds the file's length, which readers such as ImageMagick check; biSizeImage is 0, which is
// valid for uncompressed files.

#include "images/pixel_decoders.h"

#include <cstdint>
#include <vector>

namespace kelvot {

// bfOffBits: where the pixel rows start. 118 for 4 bits, 1078 for 8, 54 for 24.
std::uint32_t BmpPixelOffset(int bitCount);

// The whole file. Throws std::invalid_argument for a state that is not a DIB of 4, 8 or 24 bits with
// ImageHeight rows of DibStride bytes.
std::vector<std::uint8_t> BmpFileBytes(const ImageState& image);

} // namespace kelvot
