// Every truncation of valid entries, and random pictures checked against a naive second decoder.

#include "images/pixel_decoders.h"
#include "picture_builder.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace kelvot {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Routine = std::function<std::optional<ImageState>(EntryBytes)>;

std::vector<Routine> RoutinesOf(PictureKind kind) {
    switch (kind) {
    case PictureKind::Mip:
        return {DecodeMip4, DecodeMip565, DecodeMip1555, DecodeMip4444, MaskMip4, MaskMip1555, MaskMip4444};
    case PictureKind::Srb:
        return {DecodeSrb4, DecodeSrb565, DecodeSrb1555, DecodeSrb4444, MaskSrb4, MaskSrb1555, MaskSrb4444};
    case PictureKind::Pbf:
        break;
    }
    return {DecodePbf4, DecodePbf565, DecodePbf1555, DecodePbf4444, MaskPbf1555, MaskPbf4444};
}

// Every spec the sweep and the round trip use: each kind and code 0-5, both layouts, odd and even widths.
std::vector<PictureSpec> Variety(std::int16_t width, std::int16_t height, std::uint32_t seed) {
    std::vector<PictureSpec> specs;
    for (PictureKind kind : {PictureKind::Mip, PictureKind::Srb, PictureKind::Pbf}) {
        for (std::uint8_t code = 0; code <= 5; ++code) {
            specs.push_back(RandomPicture(kind, code, width, height, seed++));
            if (kind == PictureKind::Pbf) continue;
            specs.push_back(RandomPicture(kind, code, width, height, seed++));
            if (code < 3)
                specs.back().LayoutB = true;
            else
                specs.back().Marker = 0x40;
        }
    }
    return specs;
}

std::string Describe(const PictureSpec& s) {
    return "kind " + std::to_string(int(s.Kind)) + " code " + std::to_string(s.FormatCode) + " layout " +
           (s.LayoutB ? "B" : "A") + " width " + std::to_string(s.Width);
}

void ExpectWellFormed(const ImageState& state) {
    EXPECT_GT(state.ImageWidth, 0);
    EXPECT_GT(state.ImageHeight, 0);
    EXPECT_EQ(state.Stride, DibStride(state.ImageWidth, state.BitCount));
    EXPECT_EQ(state.Stride % 4, 0);
    EXPECT_EQ(state.Bits.size(), std::size_t(state.Stride) * std::size_t(state.ImageHeight));
}

TEST(DecodeTruncation, EveryPrefixGivesNothingOrAWholePicture) {
    for (std::int16_t width : {1, 3, 6}) {
        for (const PictureSpec& spec : Variety(width, 3, 100)) {
            const Bytes full = EncodePicture(spec);
            for (std::size_t length = 0; length <= full.size(); ++length) {
                // A copy of exactly this length, so reading past it is caught by the sanitizers.
                const Bytes prefix(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length));
                const bool whole = length == full.size();
                const auto picture = DecodePicture(spec.Kind, prefix);
                const auto mask = DecodeMask(spec.Kind, prefix);
                ASSERT_EQ(picture.has_value(), whole) << Describe(spec) << " length " << length;
                if (picture) ExpectWellFormed(*picture);
                if (mask) ExpectWellFormed(*mask);
                if (!whole) {
                    EXPECT_FALSE(mask) << Describe(spec) << " length " << length;
                }
                for (const Routine& routine : RoutinesOf(spec.Kind))
                    if (const auto state = routine(prefix)) ExpectWellFormed(*state);
                ReadPictureHeader(spec.Kind, prefix);
            }
        }
    }
}

TEST(DecodeTruncation, HeaderIsReadOnceItsLastFieldIsInside) {
    struct Case {
        PictureKind kind;
        bool layoutB;
        std::size_t headerEnd; // one past the last byte the status bar reads
    };
    for (const Case c : {Case{PictureKind::Mip, false, 75}, Case{PictureKind::Mip, true, 151},
                         Case{PictureKind::Srb, false, 171}, Case{PictureKind::Srb, true, 247},
                         Case{PictureKind::Pbf, false, 31}}) {
        auto spec = RandomPicture(c.kind, 1, 2, 2, 1);
        spec.LayoutB = c.layoutB;
        const Bytes full = EncodePicture(spec);
        for (std::size_t length = 0; length <= full.size(); ++length) {
            const Bytes prefix(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length));
            EXPECT_EQ(ReadPictureHeader(c.kind, prefix).has_value(), length >= c.headerEnd) << length;
        }
    }
}

// A deliberately plain second decoder: the channel formulas in arithmetic, straight from pixel values,
// giving blue, green, red per pixel, top row first.
Bytes NaiveColours(const PictureSpec& spec, bool mask) {
    Bytes out;
    for (std::uint16_t v : spec.Pixels) {
        unsigned b = 0, g = 0, r = 0;
        switch (spec.FormatCode) {
        case 0:
        case 1:
        case 2:
            if (mask) {
                b = g = r = spec.Colours[4 * v + 3];
            } else {
                b = spec.Colours[4 * v], g = spec.Colours[4 * v + 1], r = spec.Colours[4 * v + 2];
            }
            break;
        case 3:
            b = (v * 8) % 256, g = (v / 32 * 4) % 256, r = (v / 2048 * 8) % 256;
            break;
        case 4:
            if (mask) {
                b = g = r = v >= 32768 ? 255 : 0;
            } else {
                b = v % 32 * 8 + 7, g = v / 32 % 32 * 8 + 7, r = v / 1024 % 32 * 8 + 7;
            }
            break;
        case 5:
            if (mask) {
                b = g = r = v / 4096 * 16;
            } else {
                b = v % 16 * 16, g = v / 16 % 16 * 16, r = v / 256 % 16 * 16;
            }
            break;
        }
        out.insert(out.end(), {std::uint8_t(b), std::uint8_t(g), std::uint8_t(r)});
    }
    return out;
}

Bytes WithoutAlpha(const std::vector<std::uint8_t>& bgra) {
    Bytes bgr;
    for (std::size_t i = 0; i < bgra.size(); i += 4) {
        EXPECT_EQ(bgra[i + 3], 255);
        bgr.insert(bgr.end(), {bgra[i], bgra[i + 1], bgra[i + 2]});
    }
    return bgr;
}

TEST(PictureRoundTrip, DecodedColoursMatchTheNaiveDecoder) {
    std::uint32_t seed = 1;
    for (auto [width, height] : {std::pair<int, int>{1, 1}, {7, 5}, {8, 3}, {13, 9}, {64, 2}}) {
        for (const PictureSpec& spec : Variety(std::int16_t(width), std::int16_t(height), seed += 50)) {
            const Bytes entry = EncodePicture(spec);
            const auto picture = DecodePicture(spec.Kind, entry);
            ASSERT_TRUE(picture) << Describe(spec);
            EXPECT_EQ(WithoutAlpha(ToBgra32TopDown(*picture)), NaiveColours(spec, false)) << Describe(spec);

            const bool hasMask =
                spec.FormatCode == 4 || spec.FormatCode == 5 ||
                (spec.FormatCode > 0 && spec.FormatCode < 3 && spec.Kind != PictureKind::Pbf);
            const auto mask = DecodeMask(spec.Kind, entry);
            ASSERT_EQ(mask.has_value(), hasMask) << Describe(spec);
            if (mask) {
                EXPECT_EQ(WithoutAlpha(ToBgra32TopDown(*mask)), NaiveColours(spec, true)) << Describe(spec);
            }
        }
    }
}

TEST(PictureRoundTrip, InconsistentStatesConvertToNothing) {
    auto state = DecodePicture(PictureKind::Mip, EncodePicture(RandomPicture(PictureKind::Mip, 3, 4, 4, 1)));
    ASSERT_TRUE(state);
    EXPECT_EQ(ToBgra32TopDown(*state).size(), 64u);
    state->Bits.pop_back();
    EXPECT_TRUE(ToBgra32TopDown(*state).empty());
    EXPECT_TRUE(ToBgra32TopDown(ImageState{}).empty());
}

} // namespace
} // namespace kelvot
