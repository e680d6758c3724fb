// The format in memory: a record's bytes, the name a name field stands for, the type an entry's first
// bytes give, and names as Windows-1252 and as text.

#include "archive/codepage.h"
#include "archive/dat_format.h"
#include "archive_builder.h"

#include <gtest/gtest.h>

#include <array>
#include <tuple>

using namespace kelvot;
using namespace kelvot::testkit;
using Bytes = std::vector<std::uint8_t>;

TEST(DatFormat, EncodesARecordByteForByte) {
    const std::array<std::uint8_t, 27> expected = {
        5, 0, 0x2C, 1, 0, 0, 0x2C, 1, 0, 0, 'A', '.', 'M', 'I', 'P', 0, 0, 0, 0, 0, 0, 0, 0, 0x53, 0, 0, 0};
    EXPECT_EQ(EncodeDirectoryRecord(300, "A.MIP", 83), expected);
}

// A name ends three characters after the first dot (no dot: after three characters), or after .lp, .gp
// or .fb in any case wherever they are; a zero ends it sooner, and bytes behind it are dropped even when
// they are not zero.
TEST(DatFormat, DecodesNamesByTheirExtension) {
    const auto decode = [](const std::string& raw) {
        std::array<std::uint8_t, kNameFieldSize> field{};
        std::copy_n(raw.begin(), std::min(raw.size(), field.size()), field.begin());
        return DecodeEntryName(field);
    };
    for (const char* whole : {"A.B.LP", "X.Y.Fb", "A.XY", "", "ABCDEFGH.MIP", "\xC9T\xC9.MIP"})
        EXPECT_EQ(decode(whole), whole);
    EXPECT_EQ(decode("a.b.gpq"), "a.b.gp");
    EXPECT_EQ(decode("A.MIPXYZ"), "A.MIP");
    EXPECT_EQ(decode("README"), "REA");
}

// Each type's own bytes are read in LoadArchive.ReadsEveryColumn; here the order and the edges.
TEST(DatFormat, ClassifiesByTheFirstFourBytesInOrderAndOnlyInsideTheFile) {
    const std::tuple<Bytes, std::int64_t, EntryType> cases[] = {
        {{0x50, 0x42, 0x52, 0x53}, 0, EntryType::SRB}, // SRB is tested before PBF
        {{0x4D, 0x49, 0x50, 0x20}, 0, EntryType::OTH},
        {{0x70, 0x69, 0x6D, 0x00}, 0, EntryType::OTH}, // exact upper-case bytes only
        {{9, 9, 0x50, 0x49, 0x4D}, 2, EntryType::MIP}, // MIP needs three bytes only
        {{0x00, 0x42, 0x52}, 0, EntryType::OTH},       // SRB's fourth byte is missing
        {{0x50, 0x49, 0x4D, 0x00}, 2, EntryType::OTH},
        {{0x50, 0x49, 0x4D, 0x00}, -1, EntryType::OTH},
    };
    for (const auto& [bytes, offset, type] : cases)
        EXPECT_EQ(ClassifyEntry(bytes, offset), type) << bytes.size() << " " << offset;
}

TEST(Codepage, RoundTripsEveryByteAndRefusesTextItCannotWrite) {
    for (int b = 1; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(byte)), byte) << b;
    }
    EXPECT_EQ(Cp1252ToUtf8("\x80\xE9"), "\xE2\x82\xAC\xC3\xA9"); // euro sign, e acute
    EXPECT_EQ(Utf8ToCp1252("A\xC5\xA0"), "A\x8A");               // S with caron
    // A CJK character, a sequence cut short, an overlong dot, and U+0080, which has no byte.
    for (const char* unwritable : {"\xE4\xB8\xAD.MIP", "\xC3", "\xC0\xAE", "\xC2\x80"})
        EXPECT_FALSE(Utf8ToCp1252(unwritable).has_value()) << unwritable;
}

TEST(Codepage, FoldsLettersOfTheWholeCodePageAndComparesByValue) {
    EXPECT_TRUE(NamesEqualIgnoringCase("\xC9T\xC9\x8A\x9F", "\xE9t\xE9\x9A\xFF"));
    EXPECT_FALSE(NamesEqualIgnoringCase("\xD7", "\xF7")); // multiplication and division signs
    EXPECT_FALSE(NamesEqualIgnoringCase("A", "AB"));
    EXPECT_LT(CompareNamesIgnoringCase("AB", "abc"), 0);
    EXPECT_LT(CompareNamesIgnoringCase("_", "a"), 0); // '_' (0x5F) sorts before letters folded to lower case
    EXPECT_GT(CompareNamesIgnoringCase("\x80", "\xFF"), 0); // the euro sign is U+20AC
}
