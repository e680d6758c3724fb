// A picture decoded at every n-th row and column holds exactly those pixels of the whole decode, for every
// kind, format code, mask and step, odd widths and 4-bit nibbles included.

#include "images/pixel_decoders.h"
#include "picture_builder.h"

#include <gtest/gtest.h>

using namespace kelvot;

namespace {

// The pixel at (x, y), counted from the top left, as bytes: a palette index, a grey level or blue-green-red.
std::vector<std::uint8_t> PixelAt(const ImageState& s, std::int32_t x, std::int32_t y) {
    const std::uint8_t* row = s.Bits.data() + static_cast<std::size_t>(s.ImageHeight - 1 - y) * s.Stride;
    if (s.BitCount == 24) return {row + 3 * x, row + 3 * x + 3};
    if (s.BitCount == 8) return {row[x]};
    return {static_cast<std::uint8_t>(x % 2 == 0 ? row[x / 2] >> 4 : row[x / 2] & 15)};
}

void ExpectSampled(const std::optional<ImageState>& whole, const std::optional<ImageState>& sampled, int step) {
    ASSERT_EQ(whole.has_value(), sampled.has_value());
    if (!whole) return;
    ASSERT_EQ(sampled->ImageWidth, (whole->ImageWidth + step - 1) / step);
    ASSERT_EQ(sampled->ImageHeight, (whole->ImageHeight + step - 1) / step);
    EXPECT_EQ(sampled->ColourTable, whole->ColourTable);
    for (std::int32_t y = 0; y < sampled->ImageHeight; ++y)
        for (std::int32_t x = 0; x < sampled->ImageWidth; ++x)
            ASSERT_EQ(PixelAt(*sampled, x, y), PixelAt(*whole, x * step, y * step)) << x << ", " << y;
}

} // namespace

TEST(SampledDecode, KeepsEveryNthPixelOfTheWholeDecode) {
    for (const auto kind : {PictureKind::Mip, PictureKind::Srb, PictureKind::Pbf})
        for (std::uint8_t code = 0; code <= 5; ++code)
            for (const int step : {1, 2, 3, 7, 40}) {
                SCOPED_TRACE(std::to_string(int(kind)) + " code " + std::to_string(code) + " step " +
                             std::to_string(step));
                const auto entry = EncodePicture(RandomPicture(kind, code, 37, 23, code + step));
                ExpectSampled(DecodePicture(kind, entry), DecodePicture(kind, entry, step), step);
                ExpectSampled(DecodeMask(kind, entry), DecodeMask(kind, entry, step), step);
            }
}

// The step that fits a picture to a view, and the size read from a header alone.
TEST(SampledDecode, StepsAndExtents) {
    EXPECT_EQ(SampleStep(100, 50, 400, 300), 1);
    EXPECT_EQ(SampleStep(32767, 16383, 600, 400), 54); // 607 x 304, no smaller than the 600 x 300 drawn
    EXPECT_EQ(SampleStep(32767, 16383, 0, 0), 32767);
    const PictureSpec spec = RandomPicture(PictureKind::Pbf, 1, 7, 3, 1);
    const auto entry = EncodePicture(spec);
    const auto extent = MeasurePicture(PictureKind::Pbf, std::span(entry).first(kPictureHeaderBytes / 4));
    ASSERT_TRUE(extent);
    EXPECT_EQ(std::tuple(extent->Width, extent->Height, extent->Bytes), std::tuple(7, 3, std::int64_t(entry.size())));
}
