#pragma once

// The inner loops of the decoders: one entry row in, one buffer row out. Each exists as a plain loop and,
// on x86-64 processors with SSSE3 (chosen once at run time), as a vector loop that handles 8 to 32 pixels
// per step and leaves the last few pixels of the row to the plain loop. Both write the same bytes; the
// tests compare them with a deliberately simple decoder on many widths.
//
// A row function reads exactly the pixel bytes of `width` pixels and writes exactly the bytes the
// buffer row's pixels occupy, never the row's padding.

#include <array>
#include <cstdint>

namespace kelvot::rows {

// How a 16-bit pixel becomes blue, green, red.
enum class Channels : std::uint8_t {
    Rgb565,   // 5-6-5 bits, each shifted to the top of its byte
    Argb1555, // 5-5-5 bits with the low three bits set; bit 15 ignored
    Argb4444, // 4-4-4 bits, each shifted to the top of its byte; bits 12-15 ignored
    Mask1555, // 255, 255, 255 where bit 15 is set, else 0, 0, 0
};

// 2 × width bytes (little-endian pixels) in, 3 × width bytes (blue, green, red) out.
void Expand16(Channels channels, const std::uint8_t* in, std::uint8_t* out, std::int32_t width);

// 2 × width bytes in; (width + 1) / 2 bytes out, each holding bits 12-15 of two pixels, left one in the
// high nibble; an odd width leaves the last low nibble 0.
void HighNibbles(const std::uint8_t* in, std::uint8_t* out, std::int32_t width);

// (width + 1) / 2 bytes of 4-bit indices (left pixel in the high nibble) in; width bytes out, each the
// table's value for its pixel's index.
void LookUp4(const std::uint8_t* in, std::uint8_t* out, std::int32_t width,
             const std::array<std::uint8_t, 16>& table);

// (width + 1) / 2 bytes of 4-bit indices (left pixel in the high nibble) in; 4 × width bytes out, each
// pixel the four bytes the table holds for its index (in memory order).
void LookUp4Pixels(const std::uint8_t* in, std::uint8_t* out, std::int32_t width,
                   const std::array<std::uint32_t, 16>& table);

// 3 × width bytes (blue, green, red) in; 4 × width bytes out: blue, green, red and 255.
void AddOpaqueAlpha(const std::uint8_t* in, std::uint8_t* out, std::int32_t width);

} // namespace kelvot::rows
