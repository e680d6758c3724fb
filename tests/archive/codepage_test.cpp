#include "archive/codepage.h"

#include <gtest/gtest.h>

using namespace kelvot;

TEST(Codepage, RoundTripsEveryByte) {
    for (int b = 1; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        const auto back = Utf8ToCp1252(Cp1252ToUtf8(byte));
        ASSERT_TRUE(back.has_value()) << b;
        EXPECT_EQ(*back, byte) << b;
    }
    EXPECT_EQ(Cp1252ToUtf8("\x80"), "\xE2\x82\xAC"); // euro sign
    EXPECT_EQ(Cp1252ToUtf8("\xE9"), "\xC3\xA9");
}

TEST(Codepage, RefusesTextItCannotWrite) {
    EXPECT_FALSE(Utf8ToCp1252("\xE4\xB8\xAD.MIP").has_value()); // a CJK character
    EXPECT_FALSE(Utf8ToCp1252("\xC3").has_value());             // cut short
    EXPECT_FALSE(Utf8ToCp1252("\xC0\xAE").has_value());         // overlong dot
    EXPECT_FALSE(Utf8ToCp1252("\xC2\x80").has_value());         // U+0080 has no byte
    EXPECT_EQ(Utf8ToCp1252("A\xC5\xA0").value(), "A\x8A");      // S with caron
}

TEST(Codepage, FoldsLettersOfTheWholeCodePage) {
    EXPECT_TRUE(NamesEqualIgnoringCase("DOOR.LP", "door.lp"));
    EXPECT_TRUE(NamesEqualIgnoringCase("\xC9T\xC9", "\xE9t\xE9"));
    EXPECT_TRUE(NamesEqualIgnoringCase("\x8A", "\x9A"));
    EXPECT_TRUE(NamesEqualIgnoringCase("\x9F", "\xFF"));
    EXPECT_FALSE(NamesEqualIgnoringCase("\xD7", "\xF7")); // multiplication and division signs
    EXPECT_FALSE(NamesEqualIgnoringCase("A", "AB"));
}

TEST(Codepage, ComparesFoldedCharactersByTheirValue) {
    EXPECT_LT(CompareNamesIgnoringCase("abc", "ABD"), 0);
    EXPECT_EQ(CompareNamesIgnoringCase("ABC", "abc"), 0);
    EXPECT_LT(CompareNamesIgnoringCase("AB", "abc"), 0);
    EXPECT_LT(CompareNamesIgnoringCase("_", "a"), 0); // '_' (0x5F) sorts before letters folded to lower case
    EXPECT_GT(CompareNamesIgnoringCase("\x80", "\xFF"), 0); // the euro sign is U+20AC
    EXPECT_LT(CompareNamesIgnoringCase("Z.MIP", "\xC9.MIP"), 0);
}
