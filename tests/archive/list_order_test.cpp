#include "archive/codepage.h"
#include "archive/list_order.h"
#include "archive_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

using namespace kelvot;
using namespace kelvot::testkit;

namespace {

std::vector<std::string> Names(const ArchiveModel& m, TypeFilter filter) {
    std::vector<std::string> names;
    for (const std::int32_t i : ListedEntries(m, filter))
        names.push_back(m.Directory.EntryNames[i]);
    return names;
}

ArchiveModel Mixed() {
    return LoadArchive(BuildArchive({{"zeta.mip", DataOfType("MIP")},
                                     {"Beta.SRB", DataOfType("SRB")},
                                     {"ALPHA.PBF", DataOfType("PBF")},
                                     {"ship.3do", DataOfType("3DO")},
                                     {"notes.txt", DataOfType("OTH")},
                                     {"beta.srb", DataOfType("OTH")},
                                     {"Gamma.MIP", DataOfType("MIP")}}));
}

} // namespace

TEST(ListOrder, SortsIgnoringCaseAndKeepsDirectoryOrderForEqualNames) {
    EXPECT_EQ(Names(Mixed(), TypeFilter::All),
              (std::vector<std::string>{"ALPHA.PBF", "Beta.SRB", "beta.srb", "Gamma.MIP", "notes.txt",
                                        "ship.3do", "zeta.mip"}));
}

TEST(ListOrder, EachFilterKeepsItsTypes) {
    const ArchiveModel m = Mixed();
    // beta.srb is plain data, but it shares its name with an SRB entry listed before it.
    EXPECT_EQ(Names(m, TypeFilter::SRB), (std::vector<std::string>{"Beta.SRB", "beta.srb"}));
    EXPECT_EQ(Names(m, TypeFilter::MIP), (std::vector<std::string>{"Gamma.MIP", "zeta.mip"}));
    EXPECT_EQ(Names(m, TypeFilter::PBF), (std::vector<std::string>{"ALPHA.PBF"}));
    EXPECT_EQ(Names(m, TypeFilter::ThreeDO), (std::vector<std::string>{"ship.3do"}));
    EXPECT_EQ(Names(m, TypeFilter::AllImages),
              (std::vector<std::string>{"ALPHA.PBF", "Beta.SRB", "beta.srb", "Gamma.MIP", "zeta.mip"}));
}

TEST(ListOrder, ParsesTheCommandLineWords) {
    EXPECT_EQ(ParseTypeFilter("IMAGES"), TypeFilter::AllImages);
    EXPECT_EQ(ParseTypeFilter("3do"), TypeFilter::ThreeDO);
    EXPECT_FALSE(ParseTypeFilter("oth").has_value());
}

// The order by sort keys against the plain comparison, on names of every byte 1-255 (case pairs of
// Windows-1252 among them), of every length up to a name field's 13 bytes, many of them equal but for case.
TEST(ListOrder, SortKeysOrderAsTheNameComparisonDoes) {
    std::mt19937 random(8);
    std::vector<std::string> names;
    for (int i = 0; i < 3000; ++i) {
        std::string name(random() % 14, 'a');
        for (char& c : name)
            c = static_cast<char>(i % 3 == 0 ? "aAsS\x8A\x9A\xFF\x9F"[random() % 8] : 1 + random() % 255);
        names.push_back(name);
    }
    std::vector<std::int32_t> expected(names.size());
    std::iota(expected.begin(), expected.end(), 0);
    std::stable_sort(expected.begin(), expected.end(), [&](std::int32_t a, std::int32_t b) {
        return CompareNamesIgnoringCase(names[a], names[b]) < 0;
    });
    EXPECT_EQ(SortedNameOrder(names), expected);
}
