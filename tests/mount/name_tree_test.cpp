#include "archive/codepage.h"
#include "mount/name_tree.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

using namespace kelvot;
using namespace kelvot::mount;
using Names = std::vector<std::string>;

TEST(NameTree, SafeFormsOfNamesThatCannotBeFileNames) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"A.BMP", "A.BMP"},
        {"...", "..."},
        {"", "%"},
        {".", "%2E"},
        {"..", "%2E%2E"},
        {"../X.LP", "..%2FX.LP"},
        {"A\\B", "A%5CB"},
        {"A\x01"
         "B",
         "A%01B"},
        {"\x7F", "%7F"},
        {"\x81", "%81"},
        {"\xE9", "\xE9"},
        {"100%", "100%"},
    };
    for (const auto& [name, safe] : cases)
        EXPECT_EQ(SafeName(name), safe) << name;
}

TEST(NameTree, TwinsIgnoringCaseGetTheLowestFreeSuffixBeforeTheExtension) {
    const std::vector<std::pair<Names, Names>> cases = {
        {{"A.BMP", "a.bmp", "A.BMP"}, {"A.BMP", "a~2.bmp", "A~3.BMP"}},
        {{"A.BMP", "A~2.BMP", "a.bmp"}, {"A.BMP", "A~2.BMP", "a~3.bmp"}},
        {{"X", "x", ".A", ".a"}, {"X", "x~2", ".A", ".a~2"}},
        {{"A.B.C", "a.b.c"}, {"A.B.C", "a.b~2.c"}},
        {{"/", "%2F"}, {"%2F", "%2F~2"}},
        {{"\xC9.LP", "\xE9.lp"}, {"\xC3\x89.LP", "\xC3\xA9~2.lp"}},
    };
    for (const auto& [names, shown] : cases)
        EXPECT_EQ(ShownNames(names, {}), shown) << testing::PrintToString(names);
}

// The rule read plainly: each name takes its safe form, or the lowest free suffix, among all names before.
Names Reference(const Names& names) {
    std::set<std::string> taken;
    Names shown;
    for (const auto& name : names) {
        const std::string safe = SafeName(name);
        std::string candidate = safe;
        for (int n = 2; taken.contains(FoldName(candidate)); ++n) {
            const auto dot = safe.rfind('.');
            const auto cut = dot == std::string::npos || dot == 0 ? safe.size() : dot;
            candidate = safe.substr(0, cut) + "~" + std::to_string(n) + safe.substr(cut);
        }
        taken.insert(FoldName(candidate));
        shown.push_back(Cp1252ToUtf8(candidate));
    }
    return shown;
}

TEST(NameTree, ManyTwinsFollowTheRule) {
    std::mt19937 random(7);
    const std::string letters = "aA.~2/";
    Names names(3000);
    for (auto& name : names)
        for (auto length = random() % 5; length-- > 0;)
            name += letters[random() % letters.size()];
    EXPECT_EQ(ShownNames(names, {}), Reference(names));
}

TEST(NameTree, TopFolderAndPngFolder) {
    const Names names = {"PNG", "A.MIP", "a.srb", ".MIP", "..SRB", "B", "C.OTH"};
    const NameTree tree = BuildNameTree(names, {1, 2, 3, 4, 5});
    EXPECT_EQ(tree.Top.Names, (Names{"PNG~2", "A.MIP", "a.srb", ".MIP", "..SRB", "B", "C.OTH"}));
    EXPECT_EQ(tree.Pngs.Names, (Names{"A.png", "a~2.png", "%.png", "%2E.png", "B.png"}));
    EXPECT_EQ(tree.Pngs.Entries, (std::vector<std::int32_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(tree.Pngs.Find("a~2.png"), 1u);
    EXPECT_EQ(tree.Top.Find("png~2"), std::nullopt); // the file system's names keep their letter case
}
