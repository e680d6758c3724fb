#pragma once

// JPEG files through FreeImage, built straight from the decoded pixels, and the JPEG quality setting.

#include "export/freeimage_support.h"
#include "images/pixel_decoders.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace kelvot {

enum class JpegQuality : std::uint8_t { Superb, Good, Normal, Average, Bad };

// In the order of the quality menu.
inline constexpr std::array<JpegQuality, 5> kJpegQualities = {
    JpegQuality::Superb, JpegQuality::Good, JpegQuality::Normal, JpegQuality::Average, JpegQuality::Bad};
inline constexpr JpegQuality kDefaultJpegQuality = JpegQuality::Superb;

// The word kept in the settings store: "Superb", "Good", "Normal", "Average" or "Bad".
std::string_view JpegQualityWord(JpegQuality quality);
// The command line's word: "superb", "good", "normal", "average" or "bad".
std::string_view JpegQualityCliWord(JpegQuality quality);
// The word's level, letter case ignored; nullopt for any other text.
std::optional<JpegQuality> ParseJpegQuality(std::string_view word);
// A stored setting's level: a word that is none of the five (an edited or damaged store) counts as
// Superb, so the export always writes its files.
JpegQuality StoredJpegQuality(std::string_view word);
// FreeImage's JPEG save flag: 0x80, 0x100, 0x200, 0x400 or 0x800.
int JpegSaveFlag(JpegQuality quality);

// The state as a FreeImage bitmap of its own depth, colour table included (each entry's fourth byte left
// out). Throws std::invalid_argument for a state that is not a DIB of 4, 8 or 24 bits, KelvotError when
// the library fails.
freeimage::Bitmap ToFreeImage(const ImageState& picture);

// The picture as a JPEG file's bytes (24 bits per pixel, the picture's own pixels). Throws KelvotError
// number kImageLibraryFailed, with FreeImage's message when it gave one, if the library fails.
std::vector<std::uint8_t> EncodeJpeg(const ImageState& picture, JpegQuality quality);

} // namespace kelvot
