#pragma once

// Image files of any format FreeImage reads (PNG, BMP, TGA, TIFF, ...) as pictures to store in an entry.

#include "images/picture_encoders.h"

#include <cstdint>
#include <optional>
#include <span>

namespace kelvot {

// The file's first picture: its pixels as red, green, blue, alpha, and, for a palette file whose pixels
// use only the first 16 entries of its palette, its indices and those entries (alpha from the file's
// transparency table, 255 where it has none). nullopt when the bytes are no picture FreeImage can read.
std::optional<RgbaPicture> ReadPictureFile(std::span<const std::uint8_t> file);

} // namespace kelvot
