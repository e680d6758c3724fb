// The rules of the status-bar panels and of the size in KB; the window and `kelvot-cli info` show them.

#include "images/status_text.h"
#include "picture_builder.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kelvot {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The seven panels for line 3 of 120, joined by '|'; the size is the entry's unless given.
std::string PanelsOf(std::optional<EntryType> type, std::string_view text, const Bytes& entry,
                     std::int32_t size = -1, const char* decimalSeparator = ".") {
    const StatusLine line{type, text, entry, size < 0 ? std::int32_t(entry.size()) : size, 3, 120};
    std::string joined;
    for (const std::string& panel : StatusPanelTexts(line, decimalSeparator))
        joined += panel + "|";
    return joined.substr(0, joined.size() - 1);
}

Bytes Picture(PictureKind kind, std::uint8_t code, bool layoutB) {
    auto spec = RandomPicture(kind, code, 20, 10, 1);
    spec.Mapp = 7, spec.SubImages = 0, spec.LayoutB = layoutB;
    return EncodePicture(spec);
}

TEST(StatusPanels, PicturesShowTheirHeader) {
    EXPECT_EQ(PanelsOf(EntryType::SRB, "wall.fb", Picture(PictureKind::Srb, 0, true)),
              "20 x 10 x 4 BPP|3 / 120|0.36 KB|SRB|Type 0|Mapp 7|-1 Sub-images");
    // PBF headers hold no Mapp and no sub-image count; any code from 3 up is 16 bits.
    EXPECT_EQ(PanelsOf(EntryType::PBF, "font.pbf", Picture(PictureKind::Pbf, 9, false)),
              "20 x 10 x 16 BPP|3 / 120|0.44 KB|PBF|Type 9||");
    // The marker on a 16-bit picture: the size still comes from the layout-B places, here inside the
    // pixels, and the depth says 4 bits. Mapp and the sub-image count put in by hand.
    Bytes entry = Picture(PictureKind::Mip, 3, false);
    entry[37] = 5, entry[38] = 3, entry[52] = 0x40, entry[145] = 7, entry[146] = 0, entry[149] = 0,
    entry[150] = 0x80;
    EXPECT_EQ(PanelsOf(EntryType::MIP, "x.lp", entry),
              "7 x -32768 x 4 BPP|3 / 120|0.48 KB|MIP|Type 3|Mapp 5|2 Sub-images");
    // Without its whole header a picture shows only position, size and type.
    entry = Picture(PictureKind::Mip, 0, true);
    entry.resize(150); // the layout-B height ends at 151
    EXPECT_EQ(PanelsOf(EntryType::MIP, "cut.lp", entry), "|3 / 120|0.15 KB|MIP|||");
}

TEST(StatusPanels, OtherLinesShowTheirLastThreeCharactersInCapitals) {
    const Bytes bytes(3000, 0);
    EXPECT_EQ(PanelsOf(EntryType::ThreeDO, "ship.x", bytes), "|3 / 120|2.93 KB|3DO|||");
    // Windows-1252 capitals in UTF-8 (É Ÿ Š), but ß has no capital in the code page and ÷ is no letter.
    const std::pair<const char*, const char*> tags[] = {{"READ.ME", ".ME"},
                                                        {"ab", "AB"},
                                                        {"x.\xE9\xFF\x9A", "\xC3\x89\xC5\xB8\xC5\xA0"},
                                                        {"s\xDF\xF7y", "\xC3\x9F\xC3\xB7Y"}};
    for (const auto& [line, tag] : tags)
        EXPECT_EQ(PanelsOf(EntryType::OTH, line, bytes), "|3 / 120|2.93 KB|" + std::string(tag) + "|||")
            << line;
    // A line that matches no entry keeps the last size, in the user's decimal separator.
    EXPECT_EQ(PanelsOf(std::nullopt, "gone.mip", {}, 1536, ","), "|3 / 120|1,5 KB|MIP|||");
}

// Read back as hundredths, every answer is the nearest, and an exact half goes to the even neighbour;
// then the signs, the limits and a separator of two bytes.
TEST(StatusKilobytes, NearestHundredthHalvesToEven) {
    for (std::int32_t size = 0; size < 300000; size += 7) {
        const std::string text = FormatKilobytes(size, ".");
        const auto dot = text.find('.'), end = text.size() - 3;
        ASSERT_EQ(text.substr(end), " KB");
        ASSERT_TRUE(dot == std::string::npos || ((end - dot == 2 || end - dot == 3) && text[end - 1] != '0'))
            << text;
        const std::int64_t hundredths = std::llround(std::stod(text) * 100);
        const std::int64_t error = hundredths * 1024 - std::int64_t(size) * 100; // in 1/102400 KB
        ASSERT_TRUE(std::abs(error) < 512 || (std::abs(error) == 512 && hundredths % 2 == 0)) << size;
    }
    EXPECT_EQ(FormatKilobytes(-5, "."), "0 KB");
    EXPECT_EQ(FormatKilobytes(2147483647, "."), "2097152 KB");
    EXPECT_EQ(FormatKilobytes(-2147483647 - 1, "."), "-2097152 KB");
    EXPECT_EQ(FormatKilobytes(1100, "\xD9\xAB"), "1\xD9\xAB"
                                                 "07 KB"); // Arabic decimal separator
}

} // namespace
} // namespace kelvot
