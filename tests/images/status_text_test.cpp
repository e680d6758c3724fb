// The seven status-bar panels for one selected line, and the size in KB.

#include "images/status_text.h"
#include "picture_builder.h"

#include <gtest/gtest.h>

#include <charconv>

namespace kelvot {
namespace {

using Panels = std::array<std::string, 7>;
using Bytes = std::vector<std::uint8_t>;

Panels PanelsOf(std::optional<EntryType> type, std::string_view line, const Bytes& entry, std::int32_t n = 3,
                std::int32_t count = 120) {
    return StatusPanelTexts({.Type = type,
                             .LineText = line,
                             .Entry = entry,
                             .EntrySize = static_cast<std::int32_t>(entry.size()),
                             .LineNumber = n,
                             .LineCount = count},
                            ".");
}

Bytes Picture(PictureKind kind, std::uint8_t code, std::int16_t w, std::int16_t h, std::uint8_t mapp = 0,
              std::uint8_t subImages = 1, bool layoutB = false) {
    auto spec = RandomPicture(kind, code, w, h, 1);
    spec.Mapp = mapp, spec.SubImages = subImages, spec.LayoutB = layoutB;
    return EncodePicture(spec);
}

TEST(StatusPanels, MipPictureShowsAllSeven) {
    Bytes entry = Picture(PictureKind::Mip, 1, 64, 32, 4, 4);
    entry.resize(2181); // 2.13 KB, sub-images after the first
    EXPECT_EQ(PanelsOf(EntryType::MIP, "door.lp", entry),
              (Panels{"64 x 32 x 4 BPP", "3 / 120", "2.13 KB", "MIP", "Type 1", "Mapp 4", "3 Sub-images"}));
}

TEST(StatusPanels, SrbLayoutBReadsItsOwnSizeFields) {
    const Bytes entry = Picture(PictureKind::Srb, 0, 20, 10, 7, 0, true);
    EXPECT_EQ(PanelsOf(EntryType::SRB, "wall.fb", entry),
              (Panels{"20 x 10 x 4 BPP", "3 / 120", "0.36 KB", "SRB", "Type 0", "Mapp 7", "-1 Sub-images"}));
}

TEST(StatusPanels, MarkerOnSixteenBitMipStillSaysFourBppWithLayoutBSize) {
    auto spec = RandomPicture(PictureKind::Mip, 3, 40, 40, 2);
    spec.Marker = 0x40;
    Bytes entry = EncodePicture(spec);
    entry[145] = 7, entry[146] = 0, entry[149] = 0x00, entry[150] = 0x80; // inside the pixels
    EXPECT_EQ(PanelsOf(EntryType::MIP, "x.lp", entry)[0], "7 x -32768 x 4 BPP");
}

TEST(StatusPanels, PictureWithTooFewPixelsShowsItsHeader) {
    Bytes entry = Picture(PictureKind::Srb, 4, 100, 100);
    entry.resize(200);
    EXPECT_EQ(PanelsOf(EntryType::SRB, "big.lp", entry)[0], "100 x 100 x 16 BPP");
}

TEST(StatusPanels, PictureWithoutItsWholeHeaderShowsOnlyPositionSizeAndType) {
    Bytes entry = Picture(PictureKind::Mip, 1, 8, 8, 3, 3, true);
    entry.resize(150); // the layout-B height ends at 151
    EXPECT_EQ(PanelsOf(EntryType::MIP, "cut.lp", entry),
              (Panels{"", "3 / 120", "0.15 KB", "MIP", "", "", ""}));
}

TEST(StatusPanels, OtherTypesShowPositionSizeAndATag) {
    const Bytes bytes(3000, 0);
    EXPECT_EQ(PanelsOf(EntryType::ThreeDO, "ship.3do", bytes),
              (Panels{"", "3 / 120", "2.93 KB", "3DO", "", "", ""}));
    EXPECT_EQ(PanelsOf(EntryType::OTH, "READ.ME", bytes)[3], ".ME");
    EXPECT_EQ(PanelsOf(EntryType::OTH, "a.txt", bytes)[3], "TXT");
    EXPECT_EQ(PanelsOf(EntryType::OTH, "ab", bytes)[3], "AB");
    EXPECT_EQ(PanelsOf(EntryType::OTH, "x.\xE9\xFF\x9A", bytes)[3], "\xC3\x89\xC5\xB8\xC5\xA0"); // ÉŸŠ
    EXPECT_EQ(PanelsOf(EntryType::OTH, "stra\xDF", bytes)[3], "RA\xC3\x9F"); // ß has no capital here
    EXPECT_EQ(PanelsOf(EntryType::OTH, "x\xF7y", bytes)[3], "X\xC3\xB7Y");   // ÷ is no letter
}

TEST(StatusPanels, LineMatchingNoEntryKeepsThePreviousSize) {
    const Panels panels = StatusPanelTexts({.Type = std::nullopt,
                                            .LineText = "gone.mip",
                                            .Entry = {},
                                            .EntrySize = 1536,
                                            .LineNumber = 7,
                                            .LineCount = 9},
                                           ",");
    EXPECT_EQ(panels, (Panels{"", "7 / 9", "1,5 KB", "MIP", "", "", ""}));
}

TEST(StatusKilobytes, KnownRoundings) {
    EXPECT_EQ(FormatKilobytes(128, "."), "0.12 KB"); // 0.125: half to the even 2
    EXPECT_EQ(FormatKilobytes(1536, "."), "1.5 KB");
    EXPECT_EQ(FormatKilobytes(1024, "."), "1 KB");
    EXPECT_EQ(FormatKilobytes(3000, "."), "2.93 KB");
    EXPECT_EQ(FormatKilobytes(1408, "."), "1.38 KB"); // 1.375: half to the even 8
    EXPECT_EQ(FormatKilobytes(0, "."), "0 KB");
    EXPECT_EQ(FormatKilobytes(5, "."), "0 KB");
    EXPECT_EQ(FormatKilobytes(1034, "."), "1.01 KB");
    EXPECT_EQ(FormatKilobytes(-128, "."), "-0.12 KB");
    EXPECT_EQ(FormatKilobytes(-5, "."), "0 KB");
    EXPECT_EQ(FormatKilobytes(2147483647, "."), "2097152 KB");
    EXPECT_EQ(FormatKilobytes(-2147483647 - 1, "."), "-2097152 KB");
    EXPECT_EQ(FormatKilobytes(1100, "\xD9\xAB"), "1\xD9\xAB"
                                                 "07 KB"); // Arabic decimal separator
}

// Read back as hundredths, every answer is the nearest, and an exact half goes to the even neighbour.
TEST(StatusKilobytes, NearestHundredthHalvesToEven) {
    for (std::int32_t size = 0; size < 300000; size += 7) {
        const std::string text = FormatKilobytes(size, ".");
        ASSERT_EQ(text.substr(text.size() - 3), " KB");
        const std::string number = text.substr(0, text.size() - 3);
        const auto dot = number.find('.');
        const std::string whole = number.substr(0, dot);
        std::string fraction = dot == std::string::npos ? "" : number.substr(dot + 1);
        ASSERT_LE(fraction.size(), 2u) << text;
        ASSERT_TRUE(fraction.empty() || fraction.back() != '0') << text;
        fraction.resize(2, '0');
        std::int64_t hundredths = 0;
        std::from_chars(whole.data(), whole.data() + whole.size(), hundredths);
        hundredths = hundredths * 100 + std::stoi(fraction);
        const std::int64_t error = hundredths * 1024 - std::int64_t(size) * 100; // in 1/102400 KB
        ASSERT_LE(std::abs(error), 512) << size;
        if (std::abs(error) == 512) {
            ASSERT_EQ(hundredths % 2, 0) << size;
        }
    }
}

} // namespace
} // namespace kelvot
