// The decoders, and their 32-bit pixels, against a deliberately simple second decoder, bit for bit: every
// kind, codes 0-5, both layouts and the marker, pictures and masks, on widths covering every remainder of
// the vector loops' steps (widths below 8 run the plain loops alone); every truncation; sampled against
// whole decoding.

#include "images/pixel_decoders.h"
#include "picture_builder.h"

#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <tuple>
#include <vector>

namespace kelvot {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr PictureKind kKinds[] = {PictureKind::Mip, PictureKind::Srb, PictureKind::Pbf};

// Bottom row first, rows padded with zeros to 4 bytes; `value` gives a pixel's blue, green and red
// (24 bits) or its index (4 and 8 bits).
ImageState Simple(const PictureSpec& spec, int bitCount, const std::function<unsigned(unsigned)>& value) {
    const std::int32_t stride = (spec.Width * bitCount + 31) / 32 * 4;
    ImageState state{spec.Width, spec.Height, std::uint8_t(bitCount), {}, Bytes(stride * spec.Height),
                     stride};
    for (int y = 0; y < spec.Height; ++y) {
        std::uint8_t* row = &state.Bits[std::size_t((spec.Height - 1 - y) * state.Stride)];
        for (int x = 0; x < spec.Width; ++x) {
            const unsigned v = value(spec.Pixels[std::size_t(y * spec.Width + x)]);
            if (bitCount == 24)
                for (int c = 0; c < 3; ++c)
                    row[3 * x + c] = std::uint8_t(v >> 8 * c);
            else if (bitCount == 8)
                row[x] = std::uint8_t(v);
            else
                row[x / 2] = std::uint8_t(row[x / 2] | (x % 2 == 0 ? v << 4 : v));
        }
    }
    return state;
}

unsigned Bgr(unsigned b, unsigned g, unsigned r) {
    return b | g << 8 | r << 16;
}

ImageState SimplePicture(const PictureSpec& spec) {
    switch (spec.FormatCode) {
    case 3:
        return Simple(spec, 24, [](unsigned v) { return Bgr(v % 32 * 8, v / 32 % 64 * 4, v / 2048 * 8); });
    case 4:
        return Simple(spec, 24, [](unsigned v) {
            return Bgr(v % 32 * 8 + 7, v / 32 % 32 * 8 + 7, v / 1024 % 32 * 8 + 7);
        });
    case 5:
        return Simple(spec, 24,
                      [](unsigned v) { return Bgr(v % 16 * 16, v / 16 % 16 * 16, v / 256 % 16 * 16); });
    }
    // Codes 0-2 copy the entry's rows as whole bytes: an odd width's spare nibble and PBF row padding too.
    ImageState state = Simple(spec, 4, [](unsigned v) { return v; });
    for (int y = 0; y < spec.Height; ++y) {
        std::uint8_t* row = &state.Bits[std::size_t(y * state.Stride)];
        if (spec.Width % 2) row[spec.Width / 2] |= spec.PadByte & 0x0F;
        if (spec.Kind == PictureKind::Pbf)
            std::fill(row + (spec.Width + 1) / 2, row + state.Stride, spec.PadByte);
    }
    std::copy(spec.Colours.begin(), spec.Colours.end(), state.ColourTable.begin());
    return state;
}

// The mask with its grey table; nullopt where the format has none.
std::optional<ImageState> SimpleMask(const PictureSpec& spec) {
    const bool pbf = spec.Kind == PictureKind::Pbf;
    if (spec.FormatCode == 4) return Simple(spec, 24, [](unsigned v) { return v >= 32768 ? 0xFFFFFFu : 0u; });
    std::optional<ImageState> state;
    if (spec.FormatCode == 5) { // 16 levels of grey, the fourth bytes the grey too except in PBF entries
        state = Simple(spec, 4, [](unsigned v) { return v / 4096; });
        for (int k = 0; k < 64; ++k)
            state->ColourTable[k] = k % 4 == 3 && pbf ? 255 : std::uint8_t(k / 4 * 16);
    } else if (!pbf && (spec.FormatCode == 1 || spec.FormatCode == 2)) { // each colour's transparency
        state = Simple(spec, 8, [&](unsigned v) { return unsigned(spec.Colours[4 * v + 3]); });
        for (int k = 0; k < 1024; ++k)
            state->ColourTable[k] = k % 4 == 3 ? 255 : std::uint8_t(k / 4);
    }
    return state;
}

// Each kind and code 0-5 in layout A, and for MIP and SRB once more with the layout-B marker.
std::vector<PictureSpec> Variety(std::int16_t width, std::int16_t height, std::uint32_t seed) {
    std::vector<PictureSpec> specs;
    for (PictureKind kind : kKinds)
        for (std::uint8_t code = 0; code <= 5; ++code) {
            specs.push_back(RandomPicture(kind, code, width, height, seed++));
            if (kind == PictureKind::Pbf) continue;
            specs.push_back(RandomPicture(kind, code, width, height, seed++));
            if (code < 3)
                specs.back().LayoutB = true; // size and colour table move; codes 3-5 ignore the marker
            else
                specs.back().Marker = kLayoutBMarker;
        }
    return specs;
}

testing::Message Describe(const PictureSpec& s) {
    return testing::Message() << "kind " << int(s.Kind) << " code " << int(s.FormatCode) << " marker "
                              << int(s.LayoutB ? kLayoutBMarker : s.Marker) << " width " << s.Width;
}

// The pixel at (x, y), counted from the top left, as bytes: a palette index, a grey level or blue-green-red.
Bytes PixelAt(const ImageState& s, std::int32_t x, std::int32_t y) {
    const std::uint8_t* row = s.Bits.data() + std::size_t(s.ImageHeight - 1 - y) * std::size_t(s.Stride);
    if (s.BitCount == 24) return {row + 3 * x, row + 3 * x + 3};
    return {s.BitCount == 8 ? row[x] : std::uint8_t(x % 2 == 0 ? row[x / 2] >> 4 : row[x / 2] & 15)};
}

// Blue, green, red and 255 for each pixel, the top row first, colours looked up in the state's table.
Bytes SimpleBgra(const ImageState& s) {
    Bytes out;
    for (std::int32_t y = 0; y < s.ImageHeight; ++y)
        for (std::int32_t x = 0; x < s.ImageWidth; ++x) {
            const Bytes p = PixelAt(s, x, y);
            const std::uint8_t* bgr = p.size() == 3 ? p.data() : &s.ColourTable[4 * std::size_t(p[0])];
            out.insert(out.end(), {bgr[0], bgr[1], bgr[2], 255});
        }
    return out;
}

// The decoded state, and its 32-bit pixels as the window shows them.
void ExpectSame(const std::optional<ImageState>& got, const std::optional<ImageState>& want,
                const char* what) {
    ASSERT_EQ(got.has_value(), want.has_value()) << what;
    const auto fields = [](const ImageState& s) {
        return std::tie(s.ImageWidth, s.ImageHeight, s.BitCount, s.Stride, s.ColourTable, s.Bits);
    };
    if (!want) return;
    EXPECT_EQ(fields(*got), fields(*want)) << what;
    EXPECT_EQ(ToBgra32TopDown(*got), SimpleBgra(*want)) << what;
}

TEST(PictureSweep, EveryWidthMatchesTheSimpleDecoderBitForBit) {
    std::vector<std::int16_t> widths(70);
    std::iota(widths.begin(), widths.end(), std::int16_t(1));
    widths.insert(widths.end(), {95, 96, 97, 127, 128, 129, 255, 256, 257, 511});
    std::uint32_t seed = 7;
    for (const std::int16_t width : widths)
        for (PictureSpec spec : Variety(width, std::int16_t(1 + seed % 3), seed)) {
            spec.PadByte = std::uint8_t(seed++ * 37);
            Bytes entry = EncodePicture(spec);
            if (seed % 2) entry.insert(entry.end(), 40, 0x5A); // bytes after the picture are not read
            SCOPED_TRACE(Describe(spec));
            ExpectSame(DecodePicture(spec.Kind, entry), SimplePicture(spec), "picture");
            ExpectSame(DecodeMask(spec.Kind, entry), SimpleMask(spec), "mask");
        }
}

// A copy of exactly each length, so reading past it is caught by the sanitizers: the picture whole or
// nothing, and the mask only from the whole entry.
TEST(PictureSweep, EveryPrefixGivesNothingOrAWholePicture) {
    for (std::int16_t width : {1, 3, 6})
        for (const PictureSpec& spec : Variety(width, 3, 100)) {
            SCOPED_TRACE(Describe(spec));
            const Bytes full = EncodePicture(spec);
            for (std::size_t length = 0; length <= full.size(); ++length) {
                const Bytes prefix(full.begin(), full.begin() + std::ptrdiff_t(length));
                const bool whole = length == full.size();
                ASSERT_EQ(DecodePicture(spec.Kind, prefix).has_value(), whole) << "length " << length;
                EXPECT_TRUE(whole || !DecodeMask(spec.Kind, prefix)) << "length " << length;
                ReadPictureHeader(spec.Kind, prefix);
            }
        }
}

// Decoded at every step-th row and column: exactly those pixels of the whole decode, odd widths and
// 4-bit nibbles included, masks too.
TEST(PictureSweep, SampledDecodingKeepsEveryNthPixelOfTheWholeDecode) {
    for (const auto kind : kKinds)
        for (std::uint8_t code = 0; code <= 5; ++code)
            for (const int step : {1, 2, 3, 7, 40}) {
                SCOPED_TRACE(testing::Message() << int(kind) << " code " << int(code) << " step " << step);
                const auto entry = EncodePicture(RandomPicture(kind, code, 37, 23, code + step));
                for (const auto decode : {DecodePicture, DecodeMask}) {
                    const auto whole = decode(kind, entry, 1), sampled = decode(kind, entry, step);
                    ASSERT_EQ(whole.has_value(), sampled.has_value());
                    if (!whole) continue;
                    ASSERT_EQ(std::tuple(sampled->ImageWidth, sampled->ImageHeight),
                              std::tuple((36 + step) / step, (22 + step) / step));
                    EXPECT_EQ(sampled->ColourTable, whole->ColourTable);
                    for (std::int32_t y = 0; y < sampled->ImageHeight; ++y)
                        for (std::int32_t x = 0; x < sampled->ImageWidth; ++x)
                            ASSERT_EQ(PixelAt(*sampled, x, y), PixelAt(*whole, x * step, y * step))
                                << x << ", " << y;
                }
            }
}

} // namespace
} // namespace kelvot
