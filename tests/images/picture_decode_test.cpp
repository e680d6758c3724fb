// Known answers of the decoders and mask builders, per kind and format code.

#include "images/pixel_decoders.h"
#include "picture_builder.h"

#include <gtest/gtest.h>

#include <vector>

namespace kelvot {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr PictureKind kKinds[] = {PictureKind::Mip, PictureKind::Srb, PictureKind::Pbf};

// One row of a state, without its padding.
Bytes RowOf(const ImageState& state, int j, std::size_t length) {
    const auto begin = state.Bits.begin() + static_cast<std::ptrdiff_t>(j) * state.Stride;
    return Bytes(begin, begin + static_cast<std::ptrdiff_t>(length));
}

PictureSpec Spec16(PictureKind kind, std::uint8_t code, std::int16_t width, std::int16_t height,
                   std::vector<std::uint16_t> pixels) {
    return {.Kind = kind, .FormatCode = code, .Width = width, .Height = height, .Pixels = std::move(pixels)};
}

TEST(DecodeIndexed, RowsAreSwappedBottomUpAndNibblesKept) {
    // Written by hand so the offsets are pinned without the builder: size at 69/73, pixels at 172.
    Bytes entry(180, 0);
    entry[0] = 'P', entry[1] = 'I', entry[2] = 'M';
    entry[69] = 8, entry[73] = 2;
    const Bytes pixels = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    std::copy(pixels.begin(), pixels.end(), entry.begin() + 172);
    const auto state = DecodeMip4(entry);
    ASSERT_TRUE(state);
    EXPECT_EQ(state->BitCount, 4);
    EXPECT_EQ(state->ImageWidth, 8);
    EXPECT_EQ(state->ImageHeight, 2);
    EXPECT_EQ(state->Stride, 4);
    EXPECT_EQ(state->Bits, (Bytes{0x89, 0xAB, 0xCD, 0xEF, 0x01, 0x23, 0x45, 0x67}));
}

TEST(DecodeIndexed, LayoutBTakesSizeAndColoursFromItsOwnPlaces) {
    // Layout A's places hold decoys: a wrong reader would see a 2 x 2 picture and colour 0x11.
    PictureSpec spec{
        .Kind = PictureKind::Srb, .Width = 4, .Height = 1, .Pixels = {1, 2, 3, 4}, .LayoutB = true};
    spec.Colours[4] = 0x77;
    Bytes entry = EncodePicture(spec);
    entry[165] = 2, entry[169] = 2, entry[192 + 4] = 0x11;
    const auto state = DecodePicture(PictureKind::Srb, entry);
    ASSERT_TRUE(state);
    EXPECT_EQ(state->ImageWidth, 4);
    EXPECT_EQ(state->ImageHeight, 1);
    EXPECT_EQ(state->ColourTable[4], 0x77);
    EXPECT_EQ(RowOf(*state, 0, 2), (Bytes{0x12, 0x34}));
}

TEST(DecodeIndexed, PbfKeepsHeaderWidthAndRowsOfEightPixelMultiples) {
    auto spec = RandomPicture(PictureKind::Pbf, 0, 10, 3, 7);
    spec.PadByte = 0xEE;
    const Bytes entry = EncodePicture(spec);
    ASSERT_EQ(entry.size(), 128u + 3 * 8);
    const auto state = DecodePbf4(entry);
    ASSERT_TRUE(state);
    EXPECT_EQ(state->ImageWidth, 10);
    EXPECT_EQ(state->Stride, 8);
    // The buffer rows are the entry rows, padding included, in reverse order.
    for (int j = 0; j < 3; ++j)
        EXPECT_EQ(RowOf(*state, j, 8),
                  Bytes(entry.begin() + 128 + 8 * (2 - j), entry.begin() + 136 + 8 * (2 - j)));
    for (int width : {4, 12, 16}) {
        const auto other = DecodePbf4(EncodePicture(RandomPicture(PictureKind::Pbf, 2, width, 1, 1)));
        ASSERT_TRUE(other);
        EXPECT_EQ(other->Stride, width == 4 ? 4 : 8) << width;
    }
}

TEST(DecodeIndexed, OddWidthRowsHoldTheLastPixelInAHighNibble) {
    // Width 3: entry rows of 2 bytes, the second byte's low nibble unused; DIB rows of 4 bytes.
    PictureSpec spec{.Kind = PictureKind::Mip, .Width = 3, .Height = 2, .Pixels = {1, 2, 3, 4, 5, 6}};
    spec.PadByte = 0x0F;
    const Bytes entry = EncodePicture(spec);
    ASSERT_EQ(entry.size(), 172u + 4);
    const auto state = DecodeMip4(entry);
    ASSERT_TRUE(state);
    EXPECT_EQ(state->ImageWidth, 3);
    EXPECT_EQ(state->Stride, 4);
    EXPECT_EQ(RowOf(*state, 0, 2), (Bytes{0x45, 0x6F}));
    EXPECT_EQ(RowOf(*state, 1, 2), (Bytes{0x12, 0x3F}));
    Bytes shorter(entry.begin(), entry.end() - 1);
    EXPECT_FALSE(DecodeMip4(shorter));
}

TEST(Decode16, ChannelExtremes) {
    struct Case {
        std::uint8_t code;
        std::vector<std::uint16_t> pixels;
        Bytes bgr;
    };
    const Case cases[] = {
        {3, {0xFFFF, 0x0000, 0xF800}, {248, 252, 248, 0, 0, 0, 0, 0, 248}},
        {4, {0x0000, 0x8000, 0x7FFF}, {7, 7, 7, 7, 7, 7, 255, 255, 255}},
        {5, {0xF0F0, 0x0F00, 0x000F}, {0, 240, 0, 0, 0, 240, 240, 0, 0}},
    };
    for (const Case& c : cases) {
        for (PictureKind kind : kKinds) {
            const auto state = DecodePicture(kind, EncodePicture(Spec16(kind, c.code, 3, 1, c.pixels)));
            ASSERT_TRUE(state);
            EXPECT_EQ(state->BitCount, 24);
            EXPECT_EQ(state->Stride, 12);
            EXPECT_EQ(state->Bits,
                      [&] {
                          Bytes padded = c.bgr;
                          padded.resize(12, 0);
                          return padded;
                      }())
                << "code " << int(c.code);
        }
    }
}

TEST(Decode16, PbfWidthThreeReadsEightByteRowsAndWritesTwelve) {
    auto spec = Spec16(PictureKind::Pbf, 3, 3, 2, {0x001F, 0x07E0, 0xF800, 0xFFFF, 0x0000, 0x0821});
    spec.PadByte = 0xAA;
    const Bytes entry = EncodePicture(spec);
    ASSERT_EQ(entry.size(), 52u + 2 * 8);
    const auto state = DecodePbf565(entry);
    ASSERT_TRUE(state);
    EXPECT_EQ(state->ImageWidth, 3);
    EXPECT_EQ(state->Stride, 12);
    EXPECT_EQ(state->Bits, (Bytes{248, 252, 248, 0, 0,   0, 8, 4, 8,   0, 0, 0, // bottom row
                                  248, 0,   0,   0, 252, 0, 0, 0, 248, 0, 0, 0}));
}

TEST(Decode16, MarkerOfLayoutBIsIgnoredByCodesThreeToFive) {
    for (PictureKind kind : {PictureKind::Mip, PictureKind::Srb}) {
        for (std::uint8_t code : {3, 4, 5}) {
            auto spec = RandomPicture(kind, code, 5, 3, code);
            const auto plain = DecodePicture(kind, EncodePicture(spec));
            const auto plainMask = DecodeMask(kind, EncodePicture(spec));
            spec.Marker = 0x40;
            const auto marked = DecodePicture(kind, EncodePicture(spec));
            ASSERT_TRUE(plain && marked);
            EXPECT_EQ(plain->Bits, marked->Bits);
            EXPECT_EQ(marked->ImageWidth, 5);
            const auto markedMask = DecodeMask(kind, EncodePicture(spec));
            EXPECT_EQ(plainMask.has_value(), markedMask.has_value());
            if (plainMask && markedMask) {
                EXPECT_EQ(plainMask->Bits, markedMask->Bits);
            }
        }
    }
}

TEST(MaskIndexed, TransparencyBytesOfTheColourTableBecomeGreyLevels) {
    PictureSpec spec{
        .Kind = PictureKind::Mip, .FormatCode = 2, .Width = 5, .Height = 1, .Pixels = {0, 1, 2, 15, 1}};
    spec.Colours[3] = 10, spec.Colours[7] = 20, spec.Colours[11] = 30, spec.Colours[63] = 255;
    for (bool layoutB : {false, true}) {
        spec.LayoutB = layoutB;
        const auto mask = DecodeMask(PictureKind::Mip, EncodePicture(spec));
        ASSERT_TRUE(mask);
        EXPECT_EQ(mask->BitCount, 8);
        EXPECT_EQ(mask->Stride, 8);
        EXPECT_EQ(mask->Bits, (Bytes{10, 20, 30, 255, 20, 0, 0, 0}));
        EXPECT_EQ(mask->ColourTable[4 * 200], 200);
        EXPECT_EQ(mask->ColourTable[4 * 200 + 3], 255);
    }
}

TEST(MaskIndexed, ZeroTransparencyGivesAnAllBlackMask) {
    auto spec = RandomPicture(PictureKind::Mip, 1, 16, 4, 11);
    for (int k = 0; k < 16; ++k)
        spec.Colours[4 * k + 3] = 0;
    const auto mask = DecodeMask(PictureKind::Mip, EncodePicture(spec));
    ASSERT_TRUE(mask);
    EXPECT_EQ(mask->Bits, Bytes(16 * 4, 0));
}

TEST(Mask1555, BitFifteenIsWhiteTheRestBlack) {
    for (PictureKind kind : kKinds) {
        const auto mask = DecodeMask(kind, EncodePicture(Spec16(kind, 4, 3, 1, {0x0000, 0x8000, 0x7FFF})));
        ASSERT_TRUE(mask);
        EXPECT_EQ(mask->BitCount, 24);
        EXPECT_EQ(mask->Bits, (Bytes{0, 0, 0, 255, 255, 255, 0, 0, 0, 0, 0, 0}));
    }
}

TEST(Mask4444, HighNibblesIndexASixteenLevelGreyTable) {
    for (PictureKind kind : kKinds) {
        const auto mask = DecodeMask(kind, EncodePicture(Spec16(kind, 5, 3, 1, {0xF0F0, 0x1FFF, 0x8000})));
        ASSERT_TRUE(mask);
        EXPECT_EQ(mask->BitCount, 4);
        EXPECT_EQ(mask->Stride, 4);
        EXPECT_EQ(mask->Bits, (Bytes{0xF1, 0x80, 0, 0}));
        const std::uint8_t fourth = kind == PictureKind::Pbf ? 255 : 240;
        EXPECT_EQ(Bytes(mask->ColourTable.begin() + 60, mask->ColourTable.begin() + 64),
                  (Bytes{240, 240, 240, fourth}));
        EXPECT_EQ(mask->ColourTable[64], 0);
    }
}

TEST(Mask4444, PbfRowsOfWidthEightAndSixAreFourBytes) {
    for (int width : {8, 6}) {
        auto spec = RandomPicture(PictureKind::Pbf, 5, width, 2, 5);
        spec.PadByte = 0xFF;
        const auto mask = MaskPbf4444(EncodePicture(spec));
        ASSERT_TRUE(mask);
        EXPECT_EQ(mask->Stride, 4);
        EXPECT_EQ(mask->Bits.size(), 8u);
        if (width == 6) {
            EXPECT_EQ(mask->Bits[3], 0); // padding, not pixels
        }
    }
}

TEST(DecodePicture, RoutineTableByKindAndCode) {
    // Bits per pixel of the picture and of the mask, 0 where nothing is shown.
    const int picture[] = {4, 4, 4, 24, 24, 24, 0, 0};
    const int mipMask[] = {0, 8, 8, 0, 24, 4, 0, 0};
    const int pbfMask[] = {0, 0, 0, 0, 24, 4, 0, 0};
    for (PictureKind kind : kKinds) {
        for (std::uint8_t code = 0; code < 8; ++code) {
            const Bytes entry = EncodePicture(RandomPicture(kind, code, 4, 2, code));
            const auto state = DecodePicture(kind, entry);
            const auto mask = DecodeMask(kind, entry);
            const int maskBits = kind == PictureKind::Pbf ? pbfMask[code] : mipMask[code];
            EXPECT_EQ(state ? state->BitCount : 0, picture[code]) << int(kind) << " " << int(code);
            EXPECT_EQ(mask ? mask->BitCount : 0, maskBits) << int(kind) << " " << int(code);
        }
    }
    EXPECT_FALSE(DecodePicture(PictureKind::Mip, Bytes{'P', 'I', 'M'}));
}

TEST(DecodePicture, UnfitHeadersShowNothing) {
    for (PictureKind kind : kKinds) {
        for (std::uint8_t code : {0, 3}) {
            const auto good = EncodePicture(RandomPicture(kind, code, 4, 2, 1));
            const std::size_t widthAt = kind == PictureKind::Pbf ? 25 : kind == PictureKind::Srb ? 165 : 69;
            const std::size_t heightAt = widthAt + 4;
            auto patched = [&](std::size_t at, std::uint16_t v) {
                Bytes e = good;
                e[at] = static_cast<std::uint8_t>(v), e[at + 1] = static_cast<std::uint8_t>(v >> 8);
                return e;
            };
            EXPECT_FALSE(DecodePicture(kind, patched(widthAt, 0)));
            EXPECT_FALSE(DecodePicture(kind, patched(heightAt, 0)));
            EXPECT_FALSE(DecodePicture(kind, patched(widthAt, 0x8000))); // -32768
            EXPECT_FALSE(DecodePicture(kind, patched(heightAt, 0xFFFF)));
            // The largest picture a header can describe, in an entry of a few hundred bytes.
            EXPECT_FALSE(DecodePicture(kind, patched(heightAt, 0x7FFF)));
            Bytes huge = patched(widthAt, 0x7FFF);
            huge[heightAt] = 0xFF, huge[heightAt + 1] = 0x7F;
            EXPECT_FALSE(DecodePicture(kind, huge));
            EXPECT_FALSE(DecodeMask(kind, huge));
        }
    }
}

TEST(DecodePicture, BytesAfterThePictureAreNotRead) {
    for (PictureKind kind : kKinds) {
        const auto spec = RandomPicture(kind, 5, 6, 3, 9);
        Bytes entry = EncodePicture(spec);
        const auto alone = DecodePicture(kind, entry);
        entry.insert(entry.end(), 500, 0x5A); // a second sub-image, say
        const auto followed = DecodePicture(kind, entry);
        ASSERT_TRUE(alone && followed);
        EXPECT_EQ(alone->Bits, followed->Bits);
    }
}

TEST(PictureHeaderTest, FieldsAsTheStatusBarReadsThem) {
    auto spec = RandomPicture(PictureKind::Srb, 2, 6, 4, 1);
    spec.Mapp = 9, spec.SubImages = 0, spec.LayoutB = true;
    const auto header = ReadPictureHeader(PictureKind::Srb, EncodePicture(spec));
    ASSERT_TRUE(header);
    EXPECT_EQ(header->FormatCode, 2);
    EXPECT_TRUE(header->LayoutB);
    EXPECT_EQ(header->Width, 6);
    EXPECT_EQ(header->Height, 4);
    EXPECT_EQ(header->Mapp, 9);
    EXPECT_EQ(header->SubImages, 0);
    EXPECT_EQ(header->DepthText, "4 BPP");

    const auto pbf =
        ReadPictureHeader(PictureKind::Pbf, EncodePicture(RandomPicture(PictureKind::Pbf, 9, 3, 2, 1)));
    ASSERT_TRUE(pbf);
    EXPECT_FALSE(pbf->Mapp || pbf->SubImages);
    EXPECT_EQ(pbf->DepthText, "16 BPP");
    EXPECT_EQ(PictureKindOf(EntryType::ThreeDO), std::nullopt);
    EXPECT_EQ(PictureKindOf(EntryType::SRB), PictureKind::Srb);
}

} // namespace
} // namespace kelvot
