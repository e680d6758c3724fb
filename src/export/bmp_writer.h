#pragma once

// Uncompressed Windows BMP files made from a decoded picture or mask: the 14-byte file header, the
// 40-byte info header, the colour table (16 entries for 4 bits, 256 for 8, none for 24) with each
// entry's fourth byte as the palette left it, and the rows bottom-up, each padded to 4 bytes.
// bfSize holds the file's length, which readers such as ImageMagick check; biSizeImage is 0, which is
// valid for uncompressed files.

#include "archive/file_ops.h"
#include "images/pixel_decoders.h"

#include <cstdint>
#include <vector>

namespace kelvot {

// bfOffBits: where the pixel rows start. 118 for 4 bits, 1078 for 8, 54 for 24.
std::uint32_t BmpPixelOffset(int bitCount);

// The file headers and colour table: everything before the pixel rows. Throws std::invalid_argument for a
// state that is not a DIB of 4, 8 or 24 bits with ImageHeight rows of DibStride bytes.
std::vector<std::uint8_t> BmpHeaderBytes(const ImageState& image);
// The whole file, in memory.
std::vector<std::uint8_t> BmpFileBytes(const ImageState& image);
// The whole file written at the file's position: the headers, then the state's own rows, which are
// already in the file's order, with no copy of the picture made.
void WriteBmpFile(const ImageState& image, const FileHandle& file);

} // namespace kelvot
