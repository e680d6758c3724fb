#include "archive/codepage.h"

#include <gtest/gtest.h>

using namespace kelvot;

TEST(Codepage, RoundTripsEveryByteAndRefusesTextItCannotWrite) {
    for (int b = 1; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(byte)), byte) << b;
    }
    EXPECT_EQ(Cp1252ToUtf8("\x80\xE9"), "\xE2\x82\xAC\xC3\xA9"); // euro sign, e acute
    EXPECT_EQ(Utf8ToCp1252("A\xC5\xA0"), "A\x8A");               // S with caron
    EXPECT_FALSE(Utf8ToCp1252("\xE4\xB8\xAD.MIP").has_value());  // a CJK character
    EXPECT_FALSE(Utf8ToCp1252("\xC3").has_value());              // cut short
    EXPECT_FALSE(Utf8ToCp1252("\xC0\xAE").has_value());          // overlong dot
    EXPECT_FALSE(Utf8ToCp1252("\xC2\x80").has_value());          // U+0080 has no byte
}

TEST(Codepage, FoldsLettersOfTheWholeCodePageAndComparesByValue) {
    EXPECT_TRUE(NamesEqualIgnoringCase("DOOR.LP", "door.lp"));
    EXPECT_TRUE(NamesEqualIgnoringCase("\xC9T\xC9\x8A\x9F", "\xE9t\xE9\x9A\xFF"));
    EXPECT_FALSE(NamesEqualIgnoringCase("\xD7", "\xF7")); // multiplication and division signs
    EXPECT_FALSE(NamesEqualIgnoringCase("A", "AB"));
    EXPECT_LT(CompareNamesIgnoringCase("abc", "ABD"), 0);
    EXPECT_EQ(CompareNamesIgnoringCase("ABC", "abc"), 0);
    EXPECT_LT(CompareNamesIgnoringCase("AB", "abc"), 0);
    EXPECT_LT(CompareNamesIgnoringCase("_", "a"), 0); // '_' (0x5F) sorts before letters folded to lower case
    EXPECT_GT(CompareNamesIgnoringCase("\x80", "\xFF"), 0); // the euro sign is U+20AC
    EXPECT_LT(CompareNamesIgnoringCase("Z.MIP", "\xC9.MIP"), 0);
}
