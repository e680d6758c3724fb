#include "archive_builder.h"
#include "editing/name_checks.h"

#include <gtest/gtest.h>

using namespace kelvot;

namespace {

const std::string kTooLong =
    "The filename (including extension) must be 12 characters or less.\nPlease provide another filename.";
const std::string kCharacters =
    "A filename cannot contain any of the following characters:\n\\ / : * ? \" < > |\n\nPlease try again.";
const std::string kNotWritable =
    "A filename in a DAT file can only hold printable characters of the Windows-1252 "
    "code page (Western European letters, digits and signs).\nPlease try again.";

std::string Outcome(const NameCheck& check) {
    if (check.Verdict == NameVerdict::Accepted) return "accepted " + check.Name;
    return check.Verdict == NameVerdict::EndQuietly ? "quiet" : check.Message;
}

} // namespace

TEST(NameChecks, NewArchiveNamesInOrder) {
    auto check = [](std::string_view typed) { return Outcome(CheckNewArchiveName(typed)); };
    EXPECT_EQ(check("x.DAT"), "accepted x.DAT");
    EXPECT_EQ(check("x.Dat"), "accepted x.Dat");
    EXPECT_EQ(check("ABCDEFGH.dat"), "accepted ABCDEFGH.dat");
    EXPECT_EQ(check("\xC3\x89T\xC3\x89NNNN.dat"),
              "accepted \xC9T\xC9NNNN.dat"); // 12 characters, 14 UTF-8 bytes
    EXPECT_EQ(check(""), "quiet");
    EXPECT_EQ(check(".DAT"), "quiet");
    // The extension comes before the length, the length before the characters.
    EXPECT_EQ(check("ABCDEFGHIJ?.da"), "The extension must be .dat or .DAT\nPlease try again.");
    EXPECT_EQ(check("ABCDEFGH?.dat"), kTooLong);
    EXPECT_EQ(check("a?b.dat"), kCharacters);
    EXPECT_EQ(check("a\"b.dat"), kCharacters);
    EXPECT_EQ(check("\xE6\x97\xA5.dat"), kNotWritable);
    EXPECT_EQ(check("a\tb.dat"), kNotWritable);
}

TEST(NameChecks, NewEntryNamesInOrderAgainstTheListedLines) {
    const std::vector<std::string> listed{"ABC.MIP", "DEF.SRB", "XYZ.PBF"};
    auto check = [&](std::string_view typed) { return Outcome(CheckNewEntryName(typed, listed)); };
    const std::string extension = "The extension must be 2 or 3 characters.\nPlease try again.";
    const std::string exists = "The new filename you are providing already exists in the DAT file.\nPlease "
                               "provide another filename.";
    EXPECT_EQ(check(""), "quiet");
    EXPECT_EQ(check("ABCDEFGHIJ.MIP"), kTooLong);
    EXPECT_EQ(check("TEXTURE"),
              "You must separate the filename and the extension by a dot.\nPlease try again.");
    EXPECT_EQ(check(".MIP"), "You have not provided a filename.\nPlease try again.");
    EXPECT_EQ(check("A.B"), extension);
    EXPECT_EQ(check("AB.CDEF"), extension);
    EXPECT_EQ(check("A|B.MIP"), kCharacters);
    EXPECT_EQ(check("\xE2\x80\xBD.MIP"), kNotWritable);
    EXPECT_EQ(check("abc.mip"), exists);
    EXPECT_EQ(check("ABC.MI"), exists); // a leading part of ABC.MIP
    EXPECT_EQ(check("\xE2\x82\xAC"
                    "1.MIP"),
              "accepted \x80"
              "1.MIP");

    // Under the MIP filter an SRB entry is not listed, so its name is free.
    const ArchiveModel model = LoadArchive(testkit::BuildArchive(
        {{"ZED.MIP", testkit::DataOfType("MIP")}, {"DEF.SRB", testkit::DataOfType("SRB")}}));
    EXPECT_EQ(Outcome(CheckNewEntryName("def.srb", ListedNames(model, TypeFilter::MIP))), "accepted def.srb");
    EXPECT_EQ(Outcome(CheckNewEntryName("def.srb", ListedNames(model, TypeFilter::All))), exists);
}

TEST(NameChecks, BSearchMatchesLeadingPartsFoldedAsTheListSorts) {
    const std::vector<std::string> list{"ABC.MIP", "DEF.SRB", "XYZ.PBF"};
    EXPECT_EQ(BSearch(list, "def.srb"), 1);
    EXPECT_EQ(BSearch(list, "ABD.MIP"), -1);
    EXPECT_EQ(BSearch(list, "ABC.MI"), 0);
    EXPECT_EQ(BSearch(list, "XYZ.PBFX"), -1);
    EXPECT_EQ(BSearch({}, "A.MIP"), -1);
    // Accented capitals fold to small letters, which the list sorts after "z".
    EXPECT_EQ(BSearch(std::vector<std::string>{"Apple.mip", "zeta.mip", "\xC9t\xE9.txt"}, "\xE9T\xC9.TXT"),
              2);

    // Past 16383 items lo + hi no longer fits 16 bits.
    std::vector<std::string> many;
    for (int i = 0; i < 32767; ++i)
        many.push_back("E" + std::to_string(100000 + i) + ".MIP");
    EXPECT_EQ(BSearch(many, "e132766.mip"), 32766);
    EXPECT_EQ(BSearch(many, "E116384.MIP"), 16384);
    EXPECT_EQ(BSearch(many, "E140000.MIP"), -1);
}
