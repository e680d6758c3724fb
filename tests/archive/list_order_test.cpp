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

} // namespace

// The window's list: names sorted ignoring case, equal ones in directory order; a filter keeps the lines
// whose name stands for an entry of its type, so beta.srb, plain data, goes with the SRB entry before it.
TEST(ListOrder, SortsIgnoringCaseAndEachFilterKeepsItsTypes) {
    const ArchiveModel m = LoadArchive(BuildArchive({{"zeta.mip", DataOfType("MIP")},
                                                     {"Beta.SRB", DataOfType("SRB")},
                                                     {"ALPHA.PBF", DataOfType("PBF")},
                                                     {"ship.3do", DataOfType("3DO")},
                                                     {"notes.txt", DataOfType("OTH")},
                                                     {"beta.srb", DataOfType("OTH")},
                                                     {"Gamma.MIP", DataOfType("MIP")}}));
    using L = std::vector<std::string>;
    EXPECT_EQ(Names(m, TypeFilter::All),
              (L{"ALPHA.PBF", "Beta.SRB", "beta.srb", "Gamma.MIP", "notes.txt", "ship.3do", "zeta.mip"}));
    EXPECT_EQ(Names(m, TypeFilter::AllImages),
              (L{"ALPHA.PBF", "Beta.SRB", "beta.srb", "Gamma.MIP", "zeta.mip"}));
    EXPECT_EQ(Names(m, TypeFilter::SRB), (L{"Beta.SRB", "beta.srb"}));
    EXPECT_EQ(Names(m, TypeFilter::MIP), (L{"Gamma.MIP", "zeta.mip"}));
    EXPECT_EQ(Names(m, TypeFilter::PBF), L{"ALPHA.PBF"});
    EXPECT_EQ(Names(m, TypeFilter::ThreeDO), L{"ship.3do"});
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
