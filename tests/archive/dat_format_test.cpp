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

TEST(DatFormat, DecodesNamesByTheirExtension) {
    EXPECT_EQ(Decode("DOOR.LP"), "DOOR.LP");
    EXPECT_EQ(Decode("door.lp"), "door.lp");
    EXPECT_EQ(Decode("TREE.MIP"), "TREE.MIP");
    EXPECT_EQ(Decode("MAP.GP"), "MAP.GP");
    EXPECT_EQ(Decode("X.FB"), "X.FB");
    // An unknown two-letter extension takes a third character, a zero, which ends the name.
    EXPECT_EQ(Decode("A.XY"), "A.XY");
    EXPECT_EQ(Decode("README"), "REA"); // no dot: the first three characters
    EXPECT_EQ(Decode(""), "");
    EXPECT_EQ(Decode("ABCDEFGH.MIP"), "ABCDEFGH.MIP");
    // Bytes behind the three extension characters are dropped even when they are not zero.
    EXPECT_EQ(Decode(std::string("A.MIPXYZ", 8)), "A.MIP");
    EXPECT_EQ(Decode("A.B.LP"), "A.B.LP"); // .lp is looked for before the first dot
    EXPECT_EQ(Decode("\xC9T\xC9.MIP"), "\xC9T\xC9.MIP");
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
