// Typed names for a new archive and for an entry, each refusal in the order the checks run, and the search
// over the list's names that finds a clash.

#include "archive_builder.h"
#include "editing/name_checks.h"
#include "loaded_archive.h"

#include <gtest/gtest.h>

using namespace kelvot;

namespace {

const std::string kTooLong =
    "The filename (including extension) must be 12 characters or less.\nPlease provide another filename.";
const std::string kNotWritable =
    "A filename in a DAT file can only hold printable characters of the Windows-1252 "
    "code page (Western European letters, digits and signs).\nPlease try again.";
const std::string kExists =
    "The new filename you are providing already exists in the DAT file.\nPlease provide another filename.";

std::string Outcome(const NameCheck& check) {
    if (check.Verdict == NameVerdict::Accepted) return "accepted " + check.Name;
    return check.Verdict == NameVerdict::EndQuietly ? "quiet" : check.Message;
}

using Cases = std::initializer_list<std::pair<std::string_view, std::string>>;

} // namespace

// The extension comes before the length, the length before the characters; 12 characters may take 14
// bytes of UTF-8. (The window's and command line's tests show the default name ending quietly, a sign
// refused, and a name that exists in another letter case.)
TEST(NameChecks, NewArchiveNamesInOrder) {
    for (const auto& [typed, outcome] :
         Cases{{"x.Dat", "accepted x.Dat"},
               {"\xC3\x89T\xC3\x89NNNN.dat", "accepted \xC9T\xC9NNNN.dat"},
               {"", "quiet"},
               {"ABCDEFGHIJ?.da", "The extension must be .dat or .DAT\nPlease try again."},
               {"ABCDEFGH?.dat", kTooLong},
               {"\xE6\x97\xA5.dat", kNotWritable},
               {"a\tb.dat", kNotWritable}})
        EXPECT_EQ(Outcome(CheckNewArchiveName(typed)), outcome) << typed;
}

TEST(NameChecks, NewEntryNamesInOrderAgainstTheListedLines) {
    const std::vector<std::string> listed{"ABC.MIP", "DEF.SRB", "XYZ.PBF"}; // ABC.MI is a leading part
    for (const auto& [typed, outcome] :
         Cases{{"", "quiet"},
               {"ABCDEFGHIJ.MIP", kTooLong},
               {"TEXTURE", "You must separate the filename and the extension by a dot.\nPlease try again."},
               {".MIP", "You have not provided a filename.\nPlease try again."},
               {"AB.CDEF", "The extension must be 2 or 3 characters.\nPlease try again."},
               {"A|B.MIP", "A filename cannot contain any of the following characters:\n\\ / : * ? \" < > "
                           "|\n\nPlease try again."},
               {"\xE2\x80\xBD.MIP", kNotWritable},
               {"ABC.MI", kExists},
               {"\xE2\x82\xAC"
                "1.MIP",
                "accepted \x80"
                "1.MIP"}})
        EXPECT_EQ(Outcome(CheckNewEntryName(typed, listed)), outcome) << typed;

    // Under the MIP filter an SRB entry is not listed, so its name is free.
    const testkit::LoadedArchive loaded(testkit::BuildArchive(
        {{"ZED.MIP", testkit::DataOfType("MIP")}, {"DEF.SRB", testkit::DataOfType("SRB")}}));
    const ArchiveModel& model = loaded.model();
    EXPECT_EQ(Outcome(CheckNewEntryName("def.srb", ListedNames(model, TypeFilter::MIP))), "accepted def.srb");
    EXPECT_EQ(Outcome(CheckNewEntryName("def.srb", ListedNames(model, TypeFilter::All))), kExists);
}

TEST(NameChecks, BSearchMatchesLeadingPartsFoldedAsTheListSorts) {
    const std::vector<std::string> list{"ABC.MIP", "DEF.SRB", "XYZ.PBF"};
    EXPECT_EQ(BSearch(list, "def.srb"), 1);
    EXPECT_EQ(BSearch(list, "ABD.MIP"), -1);
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
}
