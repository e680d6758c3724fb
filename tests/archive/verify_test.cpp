#include "archive/dat_format.h"
#include "archive/verify.h"
#include "archive_builder.h"

#include <gtest/gtest.h>

using namespace kelvot;
using namespace kelvot::testkit;
using Problems = std::vector<std::string>;

namespace {

Problems Verify(const std::vector<std::uint8_t>& file) {
    return VerifyArchive(file, static_cast<std::int64_t>(file.size()));
}

} // namespace

TEST(Verify, CountsAndDirectoriesTheFileCannotHold) {
    EXPECT_TRUE(Verify(BuildArchive({{"A.MIP", DataOfType("MIP")}, {"B.TXT", {}}})).empty());
    EXPECT_EQ(Verify(std::vector<std::uint8_t>{1}),
              Problems{"the file is 1 bytes long, too short for an entry count"});
    EXPECT_EQ(Verify(std::vector<std::uint8_t>{0, 0x80}),
              Problems{"the entry count is -32768; an archive holds 1 to 32767 entries"});
    auto bytes = BuildArchive({{"A.MIP", DataOfType("MIP")}, {"B.MIP", DataOfType("MIP")}});
    PutU16(bytes, 0, 3000);
    EXPECT_EQ(Verify(bytes).at(0),
              "the directory of 3000 entries ends at byte 81002, past the end of the file (88 bytes)");
}

// Each problem in its own words, in entry order, the overlaps last.
TEST(Verify, DataOutsideTheFileOrInsideTheDirectoryOverlapsAndNames) {
    std::vector<TestEntry> entries;
    for (const char* name : {"A.MIP", "B.MIP", "C.MIP", "D.TXT", "E.MIP", "F.MIP", "G.MIP"})
        entries.push_back({name, name[0] == 'D' ? std::vector<std::uint8_t>{} : DataOfType("MIP", 10)});
    auto bytes = BuildArchive(entries); // the directory ends at 191, the file at 251
    PutU32(bytes, RecordStart(0) + kSizeField, 0x7FFFFFFF);
    PutU32(bytes, RecordStart(1) + kOffsetField, 5);
    PutU32(bytes, RecordStart(2) + kOffsetField, 0x80000000u);
    PutU32(bytes, RecordStart(3) + kOffsetField, 5);   // empty entries lie nowhere and overlap nothing
    PutU32(bytes, RecordStart(5) + kOffsetField, 230); // E.MIP holds 221 to 230
    PutNameField(bytes, 6, {'.', '.'});
    EXPECT_EQ(
        Verify(bytes),
        (Problems{"entry 0 (\"A.MIP\"): its data (offset 191, size 2147483647) lies outside the file (251 "
                  "bytes)",
                  "entry 1 (\"B.MIP\"): its data (offset 5, size 10) lies inside the count and directory "
                  "(bytes 0 to 190)",
                  "entry 2 (\"C.MIP\"): its data (offset 2147483648, size 10) lies outside the file (251 "
                  "bytes)",
                  "entry 6 (\"..\"): the name cannot be used as a file name",
                  "entry 4 (\"E.MIP\") and entry 5 (\"F.MIP\"): their data overlap"}));
}
