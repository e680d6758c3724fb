#include "archive/dat_format.h"
#include "export/bmp_writer.h"
#include "export/picture_export.h"
#include "freeimage_reader.h"
#include "picture_builder.h"

#include <gtest/gtest.h>

using namespace kelvot;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr PictureKind kKinds[] = {PictureKind::Mip, PictureKind::Srb, PictureKind::Pbf};

// Every header field; returns the colour table.
Bytes CheckHeaders(const Bytes& f, std::uint32_t offBits, int bits, const ImageState& image) {
    EXPECT_EQ(f[0], 'B');
    EXPECT_EQ(f[1], 'M');
    const std::pair<std::size_t, std::uint32_t> fields[] = {{2, static_cast<std::uint32_t>(f.size())},
                                                            {6, 0},
                                                            {10, offBits},
                                                            {14, 40},
                                                            {18, image.ImageWidth},
                                                            {22, image.ImageHeight},
                                                            {30, 0},
                                                            {34, 0},
                                                            {38, 0},
                                                            {42, 0},
                                                            {46, 0},
                                                            {50, 0}};
    for (const auto& [at, value] : fields)
        EXPECT_EQ(ReadU32(f, at), value) << "field at " << at;
    EXPECT_EQ(ReadU16(f, 26), 1);
    EXPECT_EQ(ReadU16(f, 28), bits);
    EXPECT_EQ(Bytes(f.begin() + offBits, f.end()), image.Bits); // rows as decoded, padded to 4 bytes
    return Bytes(f.begin() + 54, f.begin() + offBits);
}

Bytes Entry(PictureKind kind, std::uint8_t code, std::int16_t w, std::int16_t h) {
    return EncodePicture(RandomPicture(kind, code, w, h, code * 100u + w));
}

} // namespace

TEST(BmpWriter, HeadersAndColourTablesWithTheirFourthBytes) {
    PictureSpec colours = RandomPicture(PictureKind::Mip, 1, 3, 2, 7); // odd width
    for (std::size_t k = 0; k < 64; ++k)
        colours.Colours[k] = static_cast<std::uint8_t>(k * 3 + 1);
    const auto indexed = DecodePicture(PictureKind::Mip, EncodePicture(colours));
    EXPECT_EQ(CheckHeaders(BmpFileBytes(*indexed), 118, 4, *indexed),
              Bytes(colours.Colours.begin(), colours.Colours.end()));

    const auto rgb = DecodePicture(PictureKind::Pbf, Entry(PictureKind::Pbf, 3, 5, 3));
    EXPECT_EQ(BmpFileBytes(*rgb).size(), 54u + 3 * 16); // rows of 15 bytes padded to 16, no table
    EXPECT_TRUE(CheckHeaders(BmpFileBytes(*rgb), 54, 24, *rgb).empty());

    const auto mask8 = DecodeExportMask(PictureKind::Srb, Entry(PictureKind::Srb, 2, 5, 3));
    const Bytes greys = CheckHeaders(BmpFileBytes(*mask8), 1078, 8, *mask8);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(ReadU32(greys, 4 * i), 0xFF000000u | 0x010101u * i);

    for (const PictureKind kind : kKinds) { // code 5: 16k in all four bytes, but 255 as the fourth for PBF
        const auto mask4 = DecodeExportMask(kind, Entry(kind, 5, 3, 3));
        const Bytes levels = CheckHeaders(BmpFileBytes(*mask4), 118, 4, *mask4);
        for (std::uint32_t k = 0; k < 16; ++k)
            EXPECT_EQ(ReadU32(levels, 4 * k), 0x010101u * 16 * k | (kind == PictureKind::Pbf ? 255u : 16 * k)
                                                                       << 24);
    }
}

TEST(BmpWriter, EveryKindAndCodeReadsBackWithTheDecodedPixelsAndMasksOnlyWhereDue) {
    for (const PictureKind kind : kKinds)
        for (std::uint8_t code = 0; code <= 7; ++code) {
            const bool masked = code == 5 || (code == 2 && kind != PictureKind::Pbf);
            EXPECT_EQ(HasExportMask(kind, code), masked);
            for (const auto& [w, h] : {std::pair<std::int16_t, std::int16_t>{1, 1}, {7, 3}, {30, 5}}) {
                const Bytes entry = Entry(kind, code, w, h);
                EXPECT_EQ(DecodeExportMask(kind, entry).has_value(), masked);
                for (const auto& image : {DecodePicture(kind, entry), DecodeExportMask(kind, entry)}) {
                    if (!image) continue;
                    const ReadBack back = ReadWithFreeImage(BmpFileBytes(*image));
                    EXPECT_EQ(back.Format, FIF_BMP);
                    EXPECT_EQ(back.Bits, image->BitCount);
                    EXPECT_EQ(back.Width * 1000 + back.Height, w * 1000 + h);
                    EXPECT_EQ(back.Bgra, ToBgra32TopDown(*image))
                        << int(kind) << " " << int(code) << " " << w;
                }
            }
        }
}
