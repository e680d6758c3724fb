#pragma once

// Where the three picture kinds keep their fields. MIP, SRB and PBF entries differ only in byte offsets
// and in whether their pixel rows are padded, so each kind is one row of data that the decoders read.

#include "archive/dat_format.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace kelvot {

using EntryBytes = std::span<const std::uint8_t>;

enum class PictureKind : std::uint8_t { Mip, Srb, Pbf };

// nullopt for 3DO and OTH entries.
std::optional<PictureKind> PictureKindOf(EntryType type);

// The marker value that moves the size and colour table of format codes 0-2 to layout B.
inline constexpr std::uint8_t kLayoutBMarker = 0x40;

// Byte offsets from the entry's first byte. Heights sit 4 bytes after widths, but both are listed so the
// table reads like the format.
struct PictureLayout {
    std::size_t FormatCode;
    std::optional<std::size_t> Mapp;      // shown only; PBF has none
    std::optional<std::size_t> SubImages; // shown only; PBF has none
    std::optional<std::size_t> Marker;    // PBF has none and always uses layout A
    std::size_t WidthA, HeightA;          // codes 0-2 in layout A, and codes 3-5 whatever the marker
    std::size_t WidthB, HeightB;          // codes 0-2 in layout B
    std::size_t ColoursA, ColoursB;       // 16 entries of blue, green, red, transparency
    std::size_t Pixels4, Pixels16;        // first pixel byte of codes 0-2 and of codes 3-5
    bool PaddedRows;                      // entry rows padded to 4 bytes (PBF) or packed (MIP, SRB)
    bool IndexedMask;                     // codes 1-2 carry a mask that the preview shows
    bool OpaqueGrey16;                    // the 16-level mask palette has fourth bytes 255, not 16k
};

const PictureLayout& LayoutOf(PictureKind kind);

// Every header field of every kind (format code, marker, sizes, Mapp, SubImages) lies in an entry's first
// this many bytes, so the header can be read without the rest of an entry of any size.
inline constexpr std::size_t kPictureHeaderBytes = 256;

// The pixel format a format code selects; nullopt for codes 6 and up, which are never decoded.
enum class PixelFormat : std::uint8_t { Indexed4, Rgb565, Argb1555, Argb4444 };
std::optional<PixelFormat> PixelFormatOf(std::uint8_t formatCode);

// nullopt when the format code's byte lies outside the entry.
std::optional<std::uint8_t> ReadFormatCode(PictureKind kind, EntryBytes entry);

// The header as the status bar reads it. With the layout-B marker the size always comes from the
// layout-B offsets and the depth is "4 BPP", even for codes 3 and up (whose decoders read layout A).
struct PictureHeader {
    std::uint8_t FormatCode = 0;
    bool LayoutB = false;
    std::int16_t Width = 0;
    std::int16_t Height = 0;
    std::optional<std::uint8_t> Mapp;      // MIP and SRB only
    std::optional<std::uint8_t> SubImages; // MIP and SRB only, the raw byte (shown minus 1)
    std::string_view DepthText;            // "4 BPP" or "16 BPP"
};

// nullopt unless every byte the status bar reads for this kind lies inside the entry.
std::optional<PictureHeader> ReadPictureHeader(PictureKind kind, EntryBytes entry);

} // namespace kelvot
