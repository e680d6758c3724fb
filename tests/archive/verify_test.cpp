#include "archive/dat_format.h"
#include "archive/verify.h"
#include "archive_builder.h"

#include <gtest/gtest.h>

using namespace kelvot;
using namespace kelvot::testkit;

namespace {

bool Mentions(const std::vector<std::string>& problems, const std::string& text) {
    for (const auto& p : problems)
        if (p.find(text) != std::string::npos) return true;
    return false;
}

} // namespace

TEST(Verify, ASoundArchiveHasNoProblems) {
    EXPECT_TRUE(VerifyArchive(BuildArchive({{"A.MIP", DataOfType("MIP")}, {"B.TXT", {}}})).empty());
}

TEST(Verify, ReportsCountsAndShortDirectories) {
    EXPECT_TRUE(Mentions(VerifyArchive(std::vector<std::uint8_t>{}), "too short"));
    EXPECT_TRUE(Mentions(VerifyArchive(std::vector<std::uint8_t>{0, 0}), "entry count is 0"));
    EXPECT_TRUE(Mentions(VerifyArchive(std::vector<std::uint8_t>{0, 0x80}), "-32768"));
    auto bytes = BuildArchive({{"A.MIP", DataOfType("MIP")}, {"B.MIP", DataOfType("MIP")}});
    PutU16(bytes, 0, 3000);
    const auto problems = VerifyArchive(bytes);
    EXPECT_TRUE(Mentions(problems, "past the end"));
}

TEST(Verify, ReportsDataOutsideTheFileAndOverlaps) {
    auto bytes = BuildArchive({{"A.MIP", DataOfType("MIP", 10)},
                               {"B.MIP", DataOfType("MIP", 10)},
                               {"C.MIP", DataOfType("MIP", 10)},
                               {"D.TXT", {}}});
    PutU32(bytes, RecordStart(0) + kSizeField, 0x7FFFFFFF);
    PutU32(bytes, RecordStart(2) + kOffsetField, 0x80000000u);
    PutU32(bytes, RecordStart(3) + kOffsetField, 5); // empty entries overlap nothing
    auto problems = VerifyArchive(bytes);
    EXPECT_TRUE(Mentions(problems, "entry 0 (\"A.MIP\"): its data"));
    EXPECT_TRUE(Mentions(problems, "entry 2 (\"C.MIP\"): its data"));
    EXPECT_EQ(problems.size(), 2u);

    bytes = BuildArchive({{"A.MIP", DataOfType("MIP", 10)}, {"B.MIP", DataOfType("MIP", 10)}});
    PutU32(bytes, RecordStart(1) + kOffsetField, static_cast<std::uint32_t>(DirectoryEnd(2) + 9));
    PutU32(bytes, RecordStart(1) + kSizeField, 1);
    problems = VerifyArchive(bytes);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_TRUE(Mentions(problems, "entry 0 (\"A.MIP\") and entry 1 (\"B.MIP\"): their data overlap"));
}

TEST(Verify, ReportsNamesThatCannotBeFiles) {
    auto bytes = BuildArchive({{"A.MIP", {}}, {"B.MIP", {}}, {"C.MIP", {}}, {"D.MIP", {}}});
    PutNameField(bytes, 0, {});
    PutNameField(bytes, 1, {'.', '.', 0});
    PutNameField(bytes, 2, {'a', '/', '.', 'M', 'I', 'P'});
    PutNameField(bytes, 3, {'a', '\\', '.', 'M', 'I', 'P'});
    const auto problems = VerifyArchive(bytes);
    EXPECT_EQ(problems.size(), 4u);
    EXPECT_TRUE(Mentions(problems, "entry 1 (\"..\"): the name cannot be used"));
    EXPECT_TRUE(Mentions(problems, "entry 3 (\"a\\.MIP\")"));
}
