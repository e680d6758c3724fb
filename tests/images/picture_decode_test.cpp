// Offsets written out by hand, and the headers the decoders refuse. The pixels themselves are compared
// with a second decoder in picture_sweep_test.

#include "archive_builder.h"
#include "images/pixel_decoders.h"
#include "picture_builder.h"

#include <gtest/gtest.h>

#include <vector>

namespace kelvot {
namespace {

using testkit::PutU16;

using Bytes = std::vector<std::uint8_t>;

constexpr PictureKind kKinds[] = {PictureKind::Mip, PictureKind::Srb, PictureKind::Pbf};

// The decoders agree with the builder bit for bit, so pinning the builder's offsets here pins theirs: a
// wrong offset shared by both would otherwise go unseen.
TEST(PictureOffsets, EveryFieldWhereTheFormatPutsIt) {
    struct Case {
        PictureKind kind;
        std::uint8_t code;
        bool layoutB;
        std::size_t codeAt, markerAt, widthAt, coloursAt, pixelsAt, rowBytes; // 0: none
    };
    const Case cases[] = {
        {PictureKind::Mip, 1, false, 24, 52, 69, 96, 172, 2},
        {PictureKind::Mip, 1, true, 24, 52, 145, 56, 172, 2},
        {PictureKind::Mip, 4, false, 24, 52, 69, 0, 96, 6},
        {PictureKind::Srb, 1, false, 120, 148, 165, 192, 268, 2},
        {PictureKind::Srb, 1, true, 120, 148, 241, 152, 268, 2},
        {PictureKind::Srb, 4, false, 120, 148, 165, 0, 192, 6},
        {PictureKind::Pbf, 1, false, 24, 0, 25, 52, 128, 4},
        {PictureKind::Pbf, 4, false, 24, 0, 25, 0, 52, 8},
    };
    for (const Case& c : cases) {
        auto spec = RandomPicture(c.kind, c.code, 3, 2, 5);
        spec.LayoutB = c.layoutB;
        const Bytes e = EncodePicture(spec);
        const std::string what = std::to_string(int(c.kind)) + " " + std::to_string(c.widthAt);
        ASSERT_EQ(e.size(), c.pixelsAt + 2 * c.rowBytes) << what; // the rows end the entry
        EXPECT_EQ(e[c.codeAt], c.code) << what;
        EXPECT_TRUE(!c.markerAt || e[c.markerAt] == (c.layoutB ? kLayoutBMarker : 0)) << what;
        EXPECT_EQ(e[c.widthAt] | e[c.widthAt + 1] << 8, 3) << what;
        EXPECT_EQ(e[c.widthAt + 4] | e[c.widthAt + 5] << 8, 2) << what;
        EXPECT_TRUE(!c.coloursAt ||
                    std::equal(spec.Colours.begin(), spec.Colours.end(), e.begin() + c.coloursAt))
            << what;
        // The entry's byte for pixel i: a 16-bit pixel's low byte, or two indices.
        const auto pair = [&](std::size_t i) {
            return c.code < 3 ? unsigned(spec.Pixels[i] << 4 | spec.Pixels[i + 1]) : spec.Pixels[i] & 0xFFu;
        };
        EXPECT_EQ(e[c.pixelsAt], pair(0)) << what;
        EXPECT_EQ(e[c.pixelsAt + c.rowBytes], pair(3)) << what; // the top row first
        // The status bar reads the header once its last field, the height, lies inside the entry.
        for (std::size_t length = 0; length <= e.size(); ++length)
            EXPECT_EQ(
                ReadPictureHeader(c.kind, Bytes(e.begin(), e.begin() + std::ptrdiff_t(length))).has_value(),
                length >= c.widthAt + 6)
                << what << " length " << length;
    }
}

TEST(PictureOffsets, UnfitHeadersAndCodesShowNothing) {
    // Sizes of 0 or less, and the largest a header can describe in an entry of a few hundred bytes.
    const std::pair<std::uint16_t, std::uint16_t> sizes[] = {{0, 2},      {4, 0},      {0x8000, 2},
                                                             {4, 0xFFFF}, {4, 0x7FFF}, {0x7FFF, 0x7FFF}};
    for (PictureKind kind : kKinds) {
        const std::size_t widthAt = kind == PictureKind::Pbf ? 25 : kind == PictureKind::Srb ? 165 : 69;
        for (std::uint8_t code : {0, 3, 5}) {
            for (const auto& [width, height] : sizes) {
                Bytes entry = EncodePicture(RandomPicture(kind, code, 4, 2, 1));
                PutU16(entry, widthAt, width);
                PutU16(entry, widthAt + 4, height);
                EXPECT_FALSE(DecodePicture(kind, entry) || DecodeMask(kind, entry))
                    << width << " x " << height;
            }
        }
        for (std::uint8_t code : {6, 7}) { // no pixel format
            const Bytes entry = EncodePicture(RandomPicture(kind, code, 4, 2, 1));
            EXPECT_FALSE(DecodePicture(kind, entry) || DecodeMask(kind, entry));
        }
    }
}

} // namespace
} // namespace kelvot
