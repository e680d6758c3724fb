#include "archive/dat_format.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <tuple>
#include <vector>

using namespace kelvot;

namespace {

std::string Decode(const std::string& raw) {
    std::array<std::uint8_t, kNameFieldSize> field{};
    for (std::size_t i = 0; i < raw.size() && i < field.size(); ++i)
        field[i] = static_cast<std::uint8_t>(raw[i]);
    return DecodeEntryName(field);
}

} // namespace

TEST(DatFormat, EncodesARecordByteForByte) {
    const auto record = EncodeDirectoryRecord(300, "A.MIP", 83);
    const std::array<std::uint8_t, 27> expected = {0x05, 0x00, 0x2C, 0x01, 0x00, 0x00, 0x2C, 0x01, 0x00,
                                                   0x00, 0x41, 0x2E, 0x4D, 0x49, 0x50, 0x00, 0x00, 0x00,
                                                   0x00, 0x00, 0x00, 0x00, 0x00, 0x53, 0x00, 0x00, 0x00};
    EXPECT_EQ(record, expected);
    const auto full = EncodeDirectoryRecord(1, "ABCDEFGH.MIP", 0);
    EXPECT_EQ(full[21], 'P');
    EXPECT_EQ(full[22], 0); // a 12-character name leaves the field's last byte zero
}

// A name ends three characters after the first dot (no dot: after three characters), or after .lp, .gp
// or .fb in any case wherever they are; a zero ends it sooner, and bytes behind it are dropped even when
// they are not zero.
TEST(DatFormat, DecodesNamesByTheirExtension) {
    for (const char* whole : {"A.B.LP", "X.Y.Fb", "A.XY", "", "ABCDEFGH.MIP", "\xC9T\xC9.MIP"})
        EXPECT_EQ(Decode(whole), whole);
    EXPECT_EQ(Decode("a.b.gpq"), "a.b.gp");
    EXPECT_EQ(Decode("A.MIPXYZ"), "A.MIP");
    EXPECT_EQ(Decode("README"), "REA");
}

// Each type's own bytes are read in LoadArchive.ReadsEveryColumn; here the order and the edges.
TEST(DatFormat, ClassifiesByTheFirstFourBytesInOrderAndOnlyInsideTheFile) {
    const std::tuple<std::vector<std::uint8_t>, std::int64_t, EntryType> cases[] = {
        {{0x50, 0x42, 0x52, 0x53}, 0, EntryType::SRB}, // SRB is tested before PBF
        {{0x4D, 0x49, 0x50, 0x20}, 0, EntryType::OTH},
        {{0x70, 0x69, 0x6D, 0x00}, 0, EntryType::OTH}, // exact upper-case bytes only
        {{9, 9, 0x50, 0x49, 0x4D}, 2, EntryType::MIP},
        {{0x50, 0x49, 0x4D}, 0, EntryType::MIP}, // MIP needs three bytes only
        {{0x00, 0x42, 0x52}, 0, EntryType::OTH}, // SRB's fourth byte is missing
        {{0x50, 0x49, 0x4D, 0x00}, 2, EntryType::OTH},
        {{0x50, 0x49, 0x4D, 0x00}, -1, EntryType::OTH},
        {{0x50, 0x49, 0x4D, 0x00}, 1LL << 40, EntryType::OTH},
        {{}, 0, EntryType::OTH},
    };
    for (const auto& [bytes, offset, type] : cases)
        EXPECT_EQ(ClassifyEntry(bytes, offset), type) << bytes.size() << " " << offset;
}

TEST(DatFormat, SafeFileNames) {
    for (const char* bad : {"", ".", "..", "a/b", "a\\b", "/", "..\\x"})
        EXPECT_FALSE(IsSafeFileName(bad)) << bad;
    for (const char* good : {"A.MIP", "...", ".X", "a..b"})
        EXPECT_TRUE(IsSafeFileName(good)) << good;
}
