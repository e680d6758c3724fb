// The decoders' row loops (vector and plain) against a deliberately simple decoder written here, bit for
// bit, on random pictures of many widths: every remainder of the 8-, 16- and 32-pixel steps, odd ones too.

#include "images/pixel_decoders.h"
#include "images/pixel_rows.h"
#include "picture_builder.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

namespace kelvot {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Routine = std::function<std::optional<ImageState>(EntryBytes)>;

// What a decoder must give, one pixel at a time: bottom row first, rows padded with zeros to 4 bytes.
ImageState Simple(const PictureSpec& spec, int bitCount,
                  const std::function<unsigned(std::uint16_t)>& value) {
    ImageState state;
    state.ImageWidth = spec.Width;
    state.ImageHeight = spec.Height;
    state.BitCount = static_cast<std::uint8_t>(bitCount);
    state.Stride = static_cast<std::int32_t>((spec.Width * bitCount + 31) / 32 * 4);
    state.Bits.assign(std::size_t(state.Stride) * std::size_t(spec.Height), 0);
    for (int y = 0; y < spec.Height; ++y) {
        std::uint8_t* row = state.Bits.data() + std::size_t(spec.Height - 1 - y) * std::size_t(state.Stride);
        for (int x = 0; x < spec.Width; ++x) {
            const unsigned v = value(spec.Pixels[std::size_t(y) * std::size_t(spec.Width) + std::size_t(x)]);
            if (bitCount == 24) {
                row[3 * x] = std::uint8_t(v);
                row[3 * x + 1] = std::uint8_t(v >> 8);
                row[3 * x + 2] = std::uint8_t(v >> 16);
            } else if (bitCount == 8) {
                row[x] = std::uint8_t(v);
            } else {
                row[x / 2] = std::uint8_t(row[x / 2] | (x % 2 == 0 ? v << 4 : v));
            }
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
    default:
        return Simple(spec, 24,
                      [](unsigned v) { return Bgr(v % 16 * 16, v / 16 % 16 * 16, v / 256 % 16 * 16); });
    }
}

ImageState SimpleMask(const PictureSpec& spec) {
    switch (spec.FormatCode) {
    case 4:
        return Simple(spec, 24, [](unsigned v) { return v >= 32768 ? 0xFFFFFFu : 0u; });
    case 5:
        return Simple(spec, 4, [](unsigned v) { return v / 4096; });
    default:
        return Simple(spec, 8, [&](unsigned v) { return unsigned(spec.Colours[4 * v + 3]); });
    }
}

// The named routine of this kind and code, if the format has one: the picture, or the mask.
Routine Named(PictureKind kind, std::uint8_t code, bool mask) {
    const int k = static_cast<int>(kind);
    const Routine pictures[3][3] = {{DecodeMip565, DecodeMip1555, DecodeMip4444},
                                    {DecodeSrb565, DecodeSrb1555, DecodeSrb4444},
                                    {DecodePbf565, DecodePbf1555, DecodePbf4444}};
    const Routine masks[3][3] = {{MaskMip4, MaskMip1555, MaskMip4444},
                                 {MaskSrb4, MaskSrb1555, MaskSrb4444},
                                 {nullptr, MaskPbf1555, MaskPbf4444}};
    if (!mask) return code >= 3 ? pictures[k][code - 3] : nullptr;
    if (code == 3) return nullptr; // 5-6-5 pixels carry no transparency
    return code >= 4 ? masks[k][code - 3] : masks[k][0];
}

void ExpectSame(const std::optional<ImageState>& got, const ImageState& want, const std::string& what) {
    ASSERT_TRUE(got) << what;
    EXPECT_EQ(got->ImageWidth, want.ImageWidth) << what;
    EXPECT_EQ(got->ImageHeight, want.ImageHeight) << what;
    EXPECT_EQ(got->BitCount, want.BitCount) << what;
    EXPECT_EQ(got->Stride, want.Stride) << what;
    EXPECT_EQ(got->ColourTable, want.ColourTable) << what;
    EXPECT_EQ(got->Bits, want.Bits) << what;
}

TEST(FastDecoders, EveryWidthMatchesTheSimpleDecoderBitForBit) {
    std::vector<int> widths;
    for (int w = 1; w <= 70; ++w)
        widths.push_back(w);
    widths.insert(widths.end(), {95, 96, 97, 127, 128, 129, 255, 256, 257, 511});
    std::uint32_t seed = 7;
    int compared = 0;
    for (const int width : widths) {
        for (const PictureKind kind : {PictureKind::Mip, PictureKind::Srb, PictureKind::Pbf}) {
            for (std::uint8_t code = 1; code <= 5; ++code) {
                const auto height = static_cast<std::int16_t>(1 + seed % 3);
                const PictureSpec spec = RandomPicture(kind, code, std::int16_t(width), height, seed++);
                const Bytes entry = EncodePicture(spec);
                const std::string what = "kind " + std::to_string(int(kind)) + " code " +
                                         std::to_string(code) + " width " + std::to_string(width);
                if (const Routine picture = Named(kind, code, false)) {
                    ExpectSame(picture(entry), SimplePicture(spec), what + " picture");
                    ExpectSame(DecodePicture(kind, entry), SimplePicture(spec), what + " DecodePicture");
                    ++compared;
                }
                if (const Routine mask = Named(kind, code, true)) {
                    ExpectSame(mask(entry), SimpleMask(spec), what + " mask");
                    ++compared;
                }
            }
        }
    }
    EXPECT_GT(compared, 1000);
}

// The plain loops run only for the last pixels of a row where the vector ones are available, so each is
// also checked whole against the dispatching one. Bytes past a row's pixels must stay untouched.
TEST(FastDecoders, PlainAndVectorRowsWriteTheSameBytesAndNoMore) {
    std::mt19937 random(99);
    constexpr std::uint8_t kGuard = 0xA5;
    const std::array<std::uint8_t, 16> table{3, 1, 4, 1, 5, 9, 2, 6, 5, 3, 5, 8, 9, 7, 9, 255};
    for (std::int32_t width = 1; width <= 100; ++width) {
        Bytes in16(2 * std::size_t(width));
        for (auto& b : in16)
            b = std::uint8_t(random());
        Bytes in4((std::size_t(width) + 1) / 2);
        for (auto& b : in4)
            b = std::uint8_t(random());
        auto check = [&](std::size_t length, const std::function<void(std::uint8_t*)>& fast,
                         const std::function<void(std::uint8_t*)>& plain, const char* what) {
            Bytes a(length + 16, kGuard), b(length + 16, kGuard);
            fast(a.data());
            plain(b.data());
            EXPECT_EQ(a, b) << what << " width " << width;
            for (std::size_t k = length; k < a.size(); ++k)
                ASSERT_EQ(a[k], kGuard) << what << " wrote past its row, width " << width;
        };
        for (const auto channels : {rows::Channels::Rgb565, rows::Channels::Argb1555,
                                    rows::Channels::Argb4444, rows::Channels::Mask1555})
            check(
                3 * std::size_t(width),
                [&](std::uint8_t* out) { rows::Expand16(channels, in16.data(), out, width); },
                [&](std::uint8_t* out) { rows::Expand16Plain(channels, in16.data(), out, width); },
                "Expand16");
        check((std::size_t(width) + 1) / 2,
              [&](std::uint8_t* out) { rows::HighNibbles(in16.data(), out, width); },
              [&](std::uint8_t* out) { rows::HighNibblesPlain(in16.data(), out, width); }, "HighNibbles");
        check(
            std::size_t(width), [&](std::uint8_t* out) { rows::LookUp4(in4.data(), out, width, table); },
            [&](std::uint8_t* out) { rows::LookUp4Plain(in4.data(), out, width, table); }, "LookUp4");
    }
}

} // namespace
} // namespace kelvot
