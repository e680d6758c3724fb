// The rules of the status-bar panels and of the size in KB; the window and `kelvot-cli info` show them.

#include "images/status_text.h"
#include "picture_builder.h"

#include <gtest/gtest.h>

#include <charconv>

namespace kelvot {
namespace {

using Panels = std::array<std::string, 7>;
using Bytes = std::vector<std::uint8_t>;

Panels PanelsOf(EntryType type, std::string_view line, const Bytes& entry) {
    return StatusPanelTexts({.Type = type,
                             .LineText = line,
                             .Entry = entry,
                             .EntrySize = static_cast<std::int32_t>(entry.size()),
                             .LineNumber = 3,
                             .LineCount = 120},
                            ".");
}

Bytes LayoutB(PictureKind kind, std::int16_t w, std::int16_t h, std::uint8_t mapp, std::uint8_t subImages) {
    auto spec = RandomPicture(kind, 0, w, h, 1);
    spec.Mapp = mapp, spec.SubImages = subImages, spec.LayoutB = true;
    return EncodePicture(spec);
}

TEST(StatusPanels, PicturesShowTheirHeaderWithLayoutBSizes) {
    EXPECT_EQ(PanelsOf(EntryType::SRB, "wall.fb", LayoutB(PictureKind::Srb, 20, 10, 7, 0)),
              (Panels{"20 x 10 x 4 BPP", "3 / 120", "0.36 KB", "SRB", "Type 0", "Mapp 7", "-1 Sub-images"}));
    // PBF headers hold no Mapp and no sub-image count; any code from 3 up is 16 bits.
    EXPECT_EQ(
        PanelsOf(EntryType::PBF, "font.pbf", EncodePicture(RandomPicture(PictureKind::Pbf, 9, 3, 2, 1))),
        (Panels{"3 x 2 x 16 BPP", "3 / 120", "0.07 KB", "PBF", "Type 9", "", ""}));
    // The marker on a 16-bit picture: the size still comes from the layout-B places, here inside the pixels.
    auto spec = RandomPicture(PictureKind::Mip, 3, 40, 40, 2);
    spec.Marker = 0x40;
    Bytes entry = EncodePicture(spec);
    entry[145] = 7, entry[146] = 0, entry[149] = 0x00, entry[150] = 0x80;
    EXPECT_EQ(PanelsOf(EntryType::MIP, "x.lp", entry)[0], "7 x -32768 x 4 BPP");
    // Without its whole header a picture shows only position, size and type.
    entry = LayoutB(PictureKind::Mip, 8, 8, 3, 3);
    entry.resize(150); // the layout-B height ends at 151
    EXPECT_EQ(PanelsOf(EntryType::MIP, "cut.lp", entry),
              (Panels{"", "3 / 120", "0.15 KB", "MIP", "", "", ""}));
}

TEST(StatusPanels, OtherEntriesShowTheirLinesLastThreeCharactersInCapitals) {
    const Bytes bytes(3000, 0);
    EXPECT_EQ(PanelsOf(EntryType::OTH, "READ.ME", bytes),
              (Panels{"", "3 / 120", "2.93 KB", ".ME", "", "", ""}));
    // Windows-1252 capitals in UTF-8 (É Ÿ Š), but ß has no capital in the code page and ÷ is no letter.
    const std::pair<const char*, const char*> tags[] = {{"ab", "AB"},
                                                        {"x.\xE9\xFF\x9A", "\xC3\x89\xC5\xB8\xC5\xA0"},
                                                        {"stra\xDF", "RA\xC3\x9F"},
                                                        {"x\xF7y", "X\xC3\xB7Y"}};
    for (const auto& [line, tag] : tags)
        EXPECT_EQ(PanelsOf(EntryType::OTH, line, bytes)[3], tag) << line;
    // A line that matches no entry keeps the last size, in the user's decimal separator.
    EXPECT_EQ(StatusPanelTexts({.Type = std::nullopt,
                                .LineText = "gone.mip",
                                .Entry = {},
                                .EntrySize = 1536,
                                .LineNumber = 7,
                                .LineCount = 9},
                               ","),
              (Panels{"", "7 / 9", "1,5 KB", "MIP", "", "", ""}));
}

TEST(StatusKilobytes, SignsLimitsAndSeparators) {
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
