// Small entries written byte by byte, with the pictures and masks they give worked out by hand; they pin
// where each kind keeps its fields, the picture builder's offsets included (picture_sweep_test checks the
// decoders against the builder on every width). Then the headers the decoders refuse, and the sizes a
// picture is decoded and drawn at in a view.

#include "archive_builder.h"
#include "images/fitting.h"
#include "images/pixel_decoders.h"
#include "picture_builder.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace kelvot {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Decodes an entry of zeros holding the given fields, and colours 0-15 as {4k, 4k+1, 4k+2, 4k+3} at
// `colours` (0: none), to the given picture and mask rows, bottom row first (an empty mask: none).
void ExpectDecodes(PictureKind kind, std::size_t colours, const Bytes& picture, const Bytes& mask,
                   const std::vector<std::pair<std::size_t, Bytes>>& fields) {
    Bytes entry(fields.back().first + fields.back().second.size()); // the rows end the entry
    for (const auto& [at, bytes] : fields)
        std::copy(bytes.begin(), bytes.end(), entry.begin() + std::ptrdiff_t(at));
    Palette table{};
    if (colours) std::iota(table.begin(), table.begin() + 64, std::uint8_t(0));
    std::copy_n(table.begin(), colours ? 64 : 0, entry.begin() + std::ptrdiff_t(colours));
    SCOPED_TRACE("kind " + std::to_string(int(kind)) + " code " + std::to_string(fields[0].second[0]));
    const auto decoded = DecodePicture(kind, entry);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->Bits, picture);
    EXPECT_EQ(decoded->ColourTable, table);
    const auto decodedMask = DecodeMask(kind, entry);
    ASSERT_EQ(decodedMask.has_value(), !mask.empty());
    if (decodedMask) {
        EXPECT_EQ(decodedMask->Bits, mask);
    }
}

TEST(PictureDecode, WorkedExamples) {
    using enum PictureKind;
    const std::uint8_t E = 0xEE; // row padding, and a decoy behind odd-width 4-bit rows
    // 4 bits, rows of (width + 1) / 2 bytes, an odd width's last low nibble copied as it is; the mask is
    // each pixel's colour's fourth byte. MIP code 1, layout A, 3 x 2; code 2, layout B, 2 x 1.
    ExpectDecodes(Mip, 96, {0x45, 0x60, 0, 0, 0x12, 0x3F, 0, 0}, {19, 23, 27, 0, 7, 11, 15, 0},
                  {{24, {1}}, {69, {3, 0}}, {73, {2, 0}}, {172, {0x12, 0x3F, 0x45, 0x60}}});
    ExpectDecodes(Mip, 56, {0xAB, 0, 0, 0}, {43, 47, 0, 0},
                  {{24, {2}}, {52, {0x40}}, {145, {2, 0}}, {149, {1, 0}}, {172, {0xAB}}});
    // SRB code 0 (no mask), layout A, 1 x 2; code 1, layout B, 2 x 1.
    ExpectDecodes(Srb, 192, {0xD0, 0, 0, 0, 0xC0, 0, 0, 0}, {},
                  {{120, {0}}, {165, {1, 0}}, {169, {2, 0}}, {268, {0xC0, 0xD0}}});
    ExpectDecodes(Srb, 152, {0x0F, 0, 0, 0}, {3, 63, 0, 0},
                  {{120, {1}}, {148, {0x40}}, {241, {2, 0}}, {245, {1, 0}}, {268, {0x0F}}});
    // PBF code 1, 3 x 2: rows padded to 4 bytes, the padding copied; PBF colour pictures have no mask.
    ExpectDecodes(Pbf, 52, {0x45, 0x6F, E, E, 0x12, 0x3F, E, E}, {},
                  {{24, {1}}, {25, {3, 0}}, {29, {2, 0}}, {128, {0x12, 0x3F, E, E, 0x45, 0x6F, E, E}}});
    // 16 bits, blue, green and red at the top of their bytes. MIP code 3 (5-6-5, no mask), 2 x 1: the
    // marker is ignored.
    ExpectDecodes(Mip, 0, {248, 0, 248, 0, 252, 0, 0, 0}, {},
                  {{24, {3}}, {52, {0x40}}, {69, {2, 0}}, {73, {1, 0}}, {96, {0x1F, 0xF8, 0xE0, 0x07}}});
    // SRB code 4 (1-5-5-5), 1 x 2: the low three bits set; the mask white where bit 15 is.
    ExpectDecodes(Srb, 0, {255, 255, 255, 0, 15, 15, 15, 0}, {0, 0, 0, 0, 255, 255, 255, 0},
                  {{120, {4}}, {165, {1, 0}}, {169, {2, 0}}, {192, {0x21, 0x84, 0xFF, 0x7F}}});
    // PBF code 5 (4-4-4-4), 1 x 2, rows padded: the mask is bits 12-15 as 4-bit indices.
    ExpectDecodes(Pbf, 0, {80, 160, 0, 0, 64, 48, 32, 0}, {0xF0, 0, 0, 0, 0x10, 0, 0, 0},
                  {{24, {5}}, {25, {1, 0}}, {29, {2, 0}}, {52, {0x34, 0x12, E, E, 0xA5, 0xF0, E, E}}});
}

// Sizes of 0 or less and sizes far beyond the entry: nothing, and nothing allocated from the header first.
// (Codes 6 and up giving nothing is checked on every fuzz seed.)
TEST(PictureDecode, UnfitHeadersGiveNothing) {
    const std::pair<std::uint16_t, std::uint16_t> sizes[] = {{0, 2},      {4, 0},      {0x8000, 2},
                                                             {4, 0xFFFF}, {4, 0x7FFF}, {0x7FFF, 0x7FFF}};
    for (PictureKind kind : {PictureKind::Mip, PictureKind::Srb, PictureKind::Pbf})
        for (std::uint8_t code : {0, 3, 5}) {
            Bytes entry = EncodePicture(RandomPicture(kind, code, 4, 2, 1));
            for (const auto& [width, height] : sizes) {
                testkit::PutU16(entry, LayoutOf(kind).WidthA, width);
                testkit::PutU16(entry, LayoutOf(kind).HeightA, height);
                EXPECT_FALSE(DecodePicture(kind, entry) || DecodeMask(kind, entry))
                    << width << " x " << height;
            }
        }
}

// The step that fits a picture to a view, and the size read from a header alone.
TEST(PictureDecode, SampleStepsAndExtents) {
    EXPECT_EQ(SampleStep(100, 50, 400, 300), 1);
    EXPECT_EQ(SampleStep(32767, 16383, 600, 400), 54); // 607 x 304, no smaller than the 600 x 300 drawn
    EXPECT_EQ(SampleStep(32767, 16383, 0, 0), 32767);
    const auto entry = EncodePicture(RandomPicture(PictureKind::Pbf, 1, 7, 3, 1));
    const auto extent = MeasurePicture(PictureKind::Pbf, std::span(entry).first(kPictureHeaderBytes / 4));
    ASSERT_TRUE(extent);
    EXPECT_EQ(std::tuple(extent->Width, extent->Height, extent->Bytes),
              std::tuple(7, 3, std::int64_t(entry.size())));
}

// Where the preview draws a picture in its box; halves go to even.
TEST(PictureDecode, FittingToTheBox) {
    // Fits: centred at its own size.
    EXPECT_EQ(FitPicture(200, 150, 64, 64), (DrawRect{68, 43, 64, 64, false}));
    EXPECT_EQ(FitPicture(200, 150, 200, 150), (DrawRect{0, 0, 200, 150, false}));
    EXPECT_EQ(FitPicture(200, 150, 63, 63), (DrawRect{68, 44, 63, 63, false})); // 68.5 and 43.5
    // Wider only, taller only (37.5 to 38), larger both ways, the same shape: by the proportions.
    EXPECT_EQ(FitPicture(200, 150, 256, 64), (DrawRect{0, 50, 200, 50, true}));
    EXPECT_EQ(FitPicture(200, 150, 64, 256), (DrawRect{81, 0, 38, 150, true}));
    EXPECT_EQ(FitPicture(200, 150, 400, 400), (DrawRect{25, 0, 150, 150, true}));
    EXPECT_EQ(FitPicture(200, 150, 1000, 300), (DrawRect{0, 45, 200, 60, true}));
    EXPECT_EQ(FitPicture(150, 100, 300, 200), (DrawRect{0, 0, 150, 100, true}));
}

} // namespace
} // namespace kelvot
