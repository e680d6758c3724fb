#include "archive/dat_format.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

using namespace kelvot;

namespace {

std::string Decode(const std::string& raw) {
    std::array<std::uint8_t, kNameFieldSize> field{};
    for (std::size_t i = 0; i < raw.size() && i < field.size(); ++i)
        field[i] = static_cast<std::uint8_t>(raw[i]);
    return DecodeEntryName(field);
}

EntryType Classify(std::vector<std::uint8_t> bytes, std::int64_t offset = 0) {
    return ClassifyEntry(bytes, offset);
}

} // namespace

TEST(DatFormat, RecordOffsetsFollowTheDirectory) {
    EXPECT_EQ(DirectoryEnd(3), 83); // three entries: directory at 2..82, data from 83
    EXPECT_EQ(RecordStart(3) + kNameField, 93);
    EXPECT_EQ(RecordStart(0) + kNameField, 12);
}

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

TEST(DatFormat, ClassifiesByTheFirstFourBytesInOrder) {
    EXPECT_EQ(Classify({0x50, 0x49, 0x4D, 0x58}), EntryType::MIP);
    EXPECT_EQ(Classify({0x00, 0x42, 0x52, 0x53}), EntryType::SRB);
    EXPECT_EQ(Classify({0x50, 0x41, 0x4D, 0x42}), EntryType::PBF);
    EXPECT_EQ(Classify({0x00, 0x4F, 0x44, 0x33}), EntryType::ThreeDO);
    EXPECT_EQ(Classify({0x50, 0x42, 0x52, 0x53}), EntryType::SRB); // SRB is tested before PBF
    EXPECT_EQ(Classify({0x4D, 0x49, 0x50, 0x20}), EntryType::OTH);
    EXPECT_EQ(Classify({0x70, 0x69, 0x6D, 0x00}), EntryType::OTH); // exact upper-case bytes only
    EXPECT_EQ(Classify({9, 9, 0x50, 0x49, 0x4D}, 2), EntryType::MIP);
}

TEST(DatFormat, BytesOutsideTheFileMatchNothing) {
    EXPECT_EQ(Classify({0x50, 0x49, 0x4D}), EntryType::MIP); // MIP needs three bytes only
    EXPECT_EQ(Classify({0x00, 0x42, 0x52}), EntryType::OTH); // SRB's fourth byte is missing
    EXPECT_EQ(Classify({0x50, 0x49, 0x4D, 0x00}, 2), EntryType::OTH);
    EXPECT_EQ(Classify({0x50, 0x49, 0x4D, 0x00}, -1), EntryType::OTH);
    EXPECT_EQ(Classify({0x50, 0x49, 0x4D, 0x00}, 1LL << 40), EntryType::OTH);
    EXPECT_EQ(Classify({}), EntryType::OTH);
}

TEST(DatFormat, SafeFileNames) {
    for (const char* bad : {"", ".", "..", "a/b", "a\\b", "/", "..\\x"})
        EXPECT_FALSE(IsSafeFileName(bad)) << bad;
    for (const char* good : {"A.MIP", "...", ".X", "a..b"})
        EXPECT_TRUE(IsSafeFileName(good)) << good;
}
