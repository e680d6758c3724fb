// Entries written byte by byte, with the pictures and masks they give worked out by hand; the sizes a
// picture is decoded and drawn at in a view. (Headers of sizes 0, negative or beyond the entry giving
// nothing: the hostile pictures among the fuzz seeds.)

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
    const auto decoded = DecodePicture(kind, entry), decodedMask = DecodeMask(kind, entry);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(std::tie(decoded->Bits, decoded->ColourTable), std::tie(picture, table));
    EXPECT_EQ(decodedMask ? decodedMask->Bits : Bytes(), mask);
}

TEST(PictureDecode, WorkedExamples) {
    using enum PictureKind;
    const std::uint8_t E = 0xEE; // row padding, and a decoy behind odd-width 4-bit rows
    // 4 bits, rows of (width + 1) / 2 bytes, an odd width's last low nibble copied as it is; the mask is
    // each pixel's colour's fourth byte. MIP code 1, layout A, 3 x 2; SRB code 1, layout B, 2 x 1.
    ExpectDecodes(Mip, 96, {0x45, 0x60, 0, 0, 0x12, 0x3F, 0, 0}, {19, 23, 27, 0, 7, 11, 15, 0},
                  {{24, {1}}, {69, {3, 0}}, {73, {2, 0}}, {172, {0x12, 0x3F, 0x45, 0x60}}});
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

// The step that fits a picture to a view, the size read from a header alone, and where the preview draws a
// picture in its box (halves go to even).
TEST(PictureDecode, SampleStepsExtentsAndFitting) {
    EXPECT_EQ(SampleStep(100, 50, 400, 300), 1);
    EXPECT_EQ(SampleStep(32767, 16383, 600, 400), 54); // 607 x 304, no smaller than the 600 x 300 drawn
    EXPECT_EQ(SampleStep(32767, 16383, 0, 0), 32767);
    const auto entry = EncodePicture(RandomPicture(PictureKind::Pbf, 1, 7, 3, 1));
    const auto extent = MeasurePicture(PictureKind::Pbf, std::span(entry).first(kPictureHeaderBytes / 4));
    ASSERT_TRUE(extent);
    EXPECT_EQ(std::tuple(extent->Width, extent->Height, extent->Bytes),
              std::tuple(7, 3, std::int64_t(entry.size())));
    EXPECT_EQ(FitPicture(200, 150, 63, 63), (DrawRect{68, 44, 63, 63, false})); // centred: 68.5 and 43.5
    // Wider only, taller only (37.5 to 38), larger both ways: by the proportions.
    EXPECT_EQ(FitPicture(200, 150, 256, 64), (DrawRect{0, 50, 200, 50, true}));
    EXPECT_EQ(FitPicture(200, 150, 64, 256), (DrawRect{81, 0, 38, 150, true}));
    EXPECT_EQ(FitPicture(200, 150, 400, 400), (DrawRect{25, 0, 150, 150, true}));
}

// What the checkerboard draws: the colours premultiplied by the alpha a PNG export gets (4-4-4-4: 17 x
// bits 12-15, colours 16 x their nibble).
TEST(PictureDecode, PremultipliedByTheExportsAlpha) {
    PictureSpec spec = RandomPicture(PictureKind::Mip, 5, 2, 1, 0);
    spec.Pixels = {0x8FFF, 0x0F00};
    const Bytes entry = EncodePicture(spec);
    const auto picture = DecodePicture(PictureKind::Mip, entry), alpha = DecodeAlpha(PictureKind::Mip, entry);
    ASSERT_TRUE(picture && alpha);
    EXPECT_EQ(ToPremultipliedBgra32TopDown(*picture, *alpha), (Bytes{128, 128, 128, 136, 0, 0, 0, 0}));
}

} // namespace
} // namespace kelvot
