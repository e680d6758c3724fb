#pragma once

// Picture and mask decoding: an entry's bytes in, a buffer in the form of a bottom-up Windows DIB out.
//
// Every buffer row is padded to a multiple of 4 bytes, so each state is a valid DIB as it stands.
// A decoder gives nullopt, having allocated nothing, when the header's width or height is 0 or less or
// when the pixels the header describes do not all lie inside the entry; nothing outside the entry is read.
//
// 4-bit MIP and SRB pictures of odd width are read as rows of (width + 1) / 2 bytes, the last byte's low
// nibble unused: a byte holds a left/right pair of one row and rows are copied as whole bytes, so no row
// can begin in the middle of a byte (PBF rows, padded further, agree). Masks of odd width need no choice:
// their rows are padded like any DIB row, and the 4-bit mask leaves the last low nibble 0.

#include "images/picture_layout.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kelvot {

// 256 colour-table entries of blue, green, red and a fourth byte.
using Palette = std::array<std::uint8_t, 1024>;

struct ImageState {
    std::int32_t ImageWidth = 0;
    std::int32_t ImageHeight = 0;
    std::uint8_t BitCount = 0;      // 4, 8 or 24
    Palette ColourTable{};          // entries used by 4- and 8-bit states; all zero for 24-bit ones
    std::vector<std::uint8_t> Bits; // ImageBits or MaskBits: bottom row first, Stride bytes per row
    std::int32_t Stride = 0;
};

// Bytes per row of a DIB: width × bits rounded up to whole 32-bit words.
std::int64_t DibStride(std::int64_t width, int bitCount);

// The colour table of codes 0-2 in entries 0-15 (the rest zero); nullopt if it lies outside the entry.
std::optional<Palette> LoadMipPalette(EntryBytes entry);
std::optional<Palette> LoadSrbPalette(EntryBytes entry);
std::optional<Palette> LoadPbfPalette(EntryBytes entry);
// Grey ramps for masks: 256 levels i, i, i, 255; 16 levels of 16k in all four bytes; 16 levels with 255.
Palette SetGreyPalette256();
Palette SetGreyPalette16();
Palette SetGreyPalette16Pbf();

// The named decoders and mask builders read pixels only; their states have an empty colour table.
// DecodePicture and DecodeMask below add the palette the format needs.
std::optional<ImageState> DecodeMip4(EntryBytes entry);
std::optional<ImageState> DecodeSrb4(EntryBytes entry);
std::optional<ImageState> DecodePbf4(EntryBytes entry);
std::optional<ImageState> DecodeMip565(EntryBytes entry);
std::optional<ImageState> DecodeSrb565(EntryBytes entry);
std::optional<ImageState> DecodePbf565(EntryBytes entry);
std::optional<ImageState> DecodeMip1555(EntryBytes entry);
std::optional<ImageState> DecodeSrb1555(EntryBytes entry);
std::optional<ImageState> DecodePbf1555(EntryBytes entry);
std::optional<ImageState> DecodeMip4444(EntryBytes entry);
std::optional<ImageState> DecodeSrb4444(EntryBytes entry);
std::optional<ImageState> DecodePbf4444(EntryBytes entry);
// Codes 1-2: 8-bit, one transparency byte per pixel from the colour table's fourth bytes.
std::optional<ImageState> MaskMip4(EntryBytes entry);
std::optional<ImageState> MaskSrb4(EntryBytes entry);
// Code 4: 24-bit, white where bit 15 is set, black elsewhere.
std::optional<ImageState> MaskMip1555(EntryBytes entry);
std::optional<ImageState> MaskSrb1555(EntryBytes entry);
std::optional<ImageState> MaskPbf1555(EntryBytes entry);
// Code 5: 4-bit, each pixel's bits 12-15 as an index into a 16-level grey table.
std::optional<ImageState> MaskMip4444(EntryBytes entry);
std::optional<ImageState> MaskSrb4444(EntryBytes entry);
std::optional<ImageState> MaskPbf4444(EntryBytes entry);

// The picture of the entry's format code, colour table included; nullopt for codes 6 and up and for
// pictures that do not fit their entry. With a step above 1 only every step-th row and column is decoded,
// from the top-left pixel on: ceil(width / step) × ceil(height / step) pixels, what a view smaller than
// the picture can show, at a fraction of the memory and time.
std::optional<ImageState> DecodePicture(PictureKind kind, EntryBytes entry, std::int32_t step = 1);
// The preview's mask: codes 1-2 (MIP, SRB), 4 and 5, with their grey table; nullopt for other codes.
std::optional<ImageState> DecodeMask(PictureKind kind, EntryBytes entry, std::int32_t step = 1);

// Each pixel's opacity as its format carries it, from 0 (transparent) to 255, as an 8-bit state with a
// grey table: codes 1-2 the colour table's fourth bytes, code 4 bit 15 (0 or 255), code 5 bits 12-15
// (17 × the level); codes 0 and 3 are opaque. What a PNG file's alpha holds, and a checkerboard shows.
std::optional<ImageState> DecodeAlpha(PictureKind kind, EntryBytes entry, std::int32_t step = 1);

// The step that decodes a picture of width × height no larger than a view of maxWidth × maxHeight shows
// it when fitted (never smaller): 1 when it fits.
std::int32_t SampleStep(std::int64_t width, std::int64_t height, std::int64_t maxWidth,
                        std::int64_t maxHeight);

// An entry's picture as its header describes it: its size, and how many of the entry's first bytes hold
// the header, colour table and pixel rows, all a decoder reads. Read from the header alone (the first
// kPictureHeaderBytes of the entry suffice), before anything is sized from it.
struct PictureExtent {
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::int64_t Bytes = 0;
};
// nullopt for codes 6 and up, a header field outside `head`, or a width or height of 0 or less.
std::optional<PictureExtent> MeasurePicture(PictureKind kind, EntryBytes head);

// The state as 32-bit pixels, bytes blue, green, red, 255, rows top-down, 4 × width bytes per row:
// QImage::Format_RGB32 and FreeImage_ConvertFromRawBits(bits, w, h, 4 * w, 32, FI_RGBA_RED_MASK,
// FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK, TRUE) on a little-endian machine. Empty for a state whose
// Bits do not hold ImageHeight rows of Stride bytes.
std::vector<std::uint8_t> ToBgra32TopDown(const ImageState& state);
// The same pixels written into `out`, which holds exactly 4 × width × height bytes (a QImage's own, say,
// so nothing is allocated or copied twice). False, writing nothing, where ToBgra32TopDown would be empty.
bool WriteBgra32TopDown(const ImageState& state, std::span<std::uint8_t> out);

// The picture with its DecodeAlpha state (decoded at the same step) as 32-bit pixels, bytes blue, green,
// red and alpha, the colours premultiplied by the alpha, rows top-down: QImage::Format_ARGB32_Premultiplied
// on a little-endian machine. Empty when either is not whole or their sizes differ.
std::vector<std::uint8_t> ToPremultipliedBgra32TopDown(const ImageState& picture, const ImageState& alpha);

} // namespace kelvot
