// Loading an archive: every column of the directory, a damaged one as loaded and as verified, files that
// are no archive, the types and entries read by range, and the order and name filter of the window's list.

#include "../editing/edit_support.h"
#include "archive/archive_model.h"
#include "archive/codepage.h"
#include "archive/error.h"
#include "archive/list_order.h"
#include "archive/name_filter.h"
#include "archive/verify.h"
#include "archive_builder.h"
#include "loaded_archive.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <numeric>
#include <random>

using namespace kelvot;
using namespace kelvot::testkit;
using Data = std::vector<std::uint8_t>;
using Strings = std::vector<std::string>;

TEST(LoadArchive, ReadsEveryColumn) {
    const LoadedArchive m(BuildArchive({{"A.MIP", DataOfType("MIP", 300)},
                                        {"B.3DO", DataOfType("3DO", 10)},
                                        {"C.TXT", {}},
                                        {"D.PBF", DataOfType("PBF", 5)}}));
    const DirectoryTable& d = m->Directory;
    std::string columns; // the empty entry starts where D.PBF starts: the type test reads the file
    for (std::size_t i = 0; i < d.EntryNames.size(); ++i)
        columns += d.EntryNames[i] + " " + std::to_string(d.EntrySizes[i]) + " " +
                   std::to_string(d.EntryOffsets[i]) + " " + std::to_string(d.NameFieldOffsets[i]) + " " +
                   std::string(TypeTag(d.EntryTypes[i])) + "; ";
    EXPECT_EQ(columns, "A.MIP 300 110 12 MIP; B.3DO 10 410 39 3DO; C.TXT 0 420 66 PBF; D.PBF 5 420 93 PBF; ");
}

// The loader keeps sizes and offsets as signed columns and cuts what can be read of an entry at the file's
// end; verify names each problem in its own words, in entry order, the overlaps last, with offsets and sizes
// unsigned.
TEST(LoadArchive, ADamagedDirectoryAsLoadedAndAsVerified) {
    std::vector<TestEntry> entries;
    for (const char* name : {"A.MIP", "B.MIP", "C.MIP", "D.TXT", "E.MIP", "F.MIP", "G.MIP"})
        entries.push_back({name, name[0] == 'D' ? Data{} : DataOfType("MIP", 10)});
    auto bytes = BuildArchive(entries); // the directory ends at 191, the file at 251
    EXPECT_TRUE(VerifyArchive(bytes, std::ssize(bytes)).empty());
    PutU32(bytes, RecordStart(0) + kSizeField, 0x80000000u);
    PutU32(bytes, RecordStart(1) + kOffsetField, 5);
    PutU32(bytes, RecordStart(2) + kOffsetField, 0x80000000u);
    PutU32(bytes, RecordStart(3) + kOffsetField, 5);   // empty entries lie nowhere and overlap nothing
    PutU32(bytes, RecordStart(5) + kOffsetField, 230); // E.MIP holds 221 to 230
    PutU32(bytes, RecordStart(6) + kOffsetField, 249);
    const LoadedArchive m(bytes);
    EXPECT_EQ(m->Directory.EntrySizes[0], INT32_MIN);
    EXPECT_EQ(m->Directory.EntryOffsets[2], INT32_MIN);
    std::string readable; // the bytes that can be read of each entry, and whether it lies inside the file
    for (std::int32_t i = 0; i < m->EntryCount; ++i)
        readable += std::to_string(m.Entry(i).size()) + (m->EntryInsideFile(i) ? "+ " : "- ");
    EXPECT_EQ(readable, "60- 10+ 0- 0+ 10+ 10+ 2- ");
    const std::string outside = ") lies outside the file (251 bytes)";
    EXPECT_EQ(VerifyArchive(bytes, std::ssize(bytes)),
              (Strings{"entry 0 (\"A.MIP\"): its data (offset 191, size 2147483648" + outside,
                       "entry 1 (\"B.MIP\"): its data (offset 5, size 10) lies inside the count and "
                       "directory (bytes 0 to 190)",
                       "entry 2 (\"C.MIP\"): its data (offset 2147483648, size 10" + outside,
                       "entry 6 (\"G.MIP\"): its data (offset 249, size 10" + outside,
                       "entry 4 (\"E.MIP\") and entry 5 (\"F.MIP\"): their data overlap"}));
}

// What the loader says of a file that is no archive, and verify's words for it.
TEST(LoadArchive, RefusesFilesThatAreNoArchive) {
    auto cut = BuildArchive({{"A.MIP", DataOfType("MIP")}});
    cut.resize(DirectoryEnd(1) - 1);
    for (const auto& [file, refusal, problem] :
         std::initializer_list<std::tuple<Data, std::string, std::string>>{
             {{1},
              "The file is too short to hold an entry count.",
              "the file is 1 bytes long, too short for an entry count"},
             {{0x00, 0x80},
              "The entry count of the file is -32768; an archive holds 1 to 32767 entries.",
              "the entry count is -32768; an archive holds 1 to 32767 entries"},
             {cut, "The directory of 1 entries needs 29 bytes, but the file holds only 28.",
              "the directory of 1 entries ends at byte 29, past the end of the file (28 bytes)"}}) {
        EXPECT_EQ(Failure([&] { LoadedArchive{file}; }), refusal);
        EXPECT_EQ(VerifyArchive(file, std::ssize(file)), Strings{problem});
    }
    cut.resize(DirectoryEnd(1)); // a directory and no data at all still loads
    EXPECT_EQ(LoadedArchive(cut)->EntryCount, 1);
}

// The type bytes are read in offset order, nearby ones together, and the entries by range: both must give
// what the archive's bytes give when read directly. Some type bytes share a read and some do not; more than
// 255 entries, so the count takes both its bytes.
TEST(LoadArchive, ReadsTypesAndEntriesByRangeAsTheBytesGiveThemNearAndFarApartAndOutOfOrder) {
    std::vector<TestEntry> entries;
    for (int i = 0; i < 300; ++i)
        entries.push_back(
            {"E" + std::to_string(i) + ".X",
             DataOfType(std::array{"MIP", "SRB", "PBF", "3DO", "OTH"}[i % 5], i % 7 == 0 ? 9000 : 5 + i)});
    entries.push_back({"EMPTY.X", {}});
    entries.push_back({"SHORT.X", {'P', 'I'}});
    auto bytes = BuildArchive(entries);
    for (int round = 0; round < 2; ++round) {
        const LoadedArchive m(bytes);
        for (std::int32_t i = 0; i < m->EntryCount; ++i) {
            const std::int64_t offset = ReadU32(bytes, RecordStart(i) + kOffsetField);
            const std::int64_t end = std::min<std::int64_t>(
                offset + ReadU32(bytes, RecordStart(i) + kSizeField), std::ssize(bytes));
            ASSERT_EQ(m->Directory.EntryTypes[i], ClassifyEntry(bytes, offset)) << i;
            ASSERT_EQ(m.Entry(i), Data(bytes.begin() + offset, bytes.begin() + end)) << i;
        }
        for (int i = 0; i + 1 < 300; i += 2) { // then the offsets of entry pairs swapped
            const auto a = static_cast<std::size_t>(RecordStart(i) + kOffsetField);
            std::swap_ranges(bytes.begin() + a, bytes.begin() + a + 4, bytes.begin() + a + kRecordSize);
        }
    }
}

// A file read again keeps no type that its bytes no longer give, though its directory is the same.
TEST(LoadArchive, ReadAgainSeesTypesChangedInPlace) {
    TempFolder dir;
    WriteFile(dir / "A.DAT", BuildArchive({{"A.X", DataOfType("MIP")}, {"B.X", DataOfType("SRB")}}));
    const FileHandle file = OpenForReading(dir / "A.DAT");
    const ArchiveModel before = LoadArchive(file);
    EXPECT_EQ(ReloadArchive(file, before).Directory.EntryTypes, before.Directory.EntryTypes);
    std::fstream(dir / "A.DAT", std::ios::in | std::ios::out | std::ios::binary).seekp(DirectoryEnd(2))
        << "PAMB";
    EXPECT_EQ(ReloadArchive(file, before).Directory.EntryTypes,
              (std::vector{EntryType::PBF, EntryType::SRB}));
}

// Names sorted ignoring case, equal ones in directory order; a line's type is that of the first entry of
// its name, so beta.srb, plain data, is listed with the SRB files. (The window's tests show each filter.)
TEST(ListOrder, EqualNamesKeepDirectoryOrderAndTheFirstOnesType) {
    const LoadedArchive loaded(BuildArchive({{"zeta.mip", DataOfType("MIP")},
                                             {"Beta.SRB", DataOfType("SRB")},
                                             {"notes.txt", DataOfType("OTH")},
                                             {"beta.srb", DataOfType("OTH")},
                                             {"ALPHA.PBF", DataOfType("PBF")}}));
    const ArchiveModel& m = loaded.model();
    const auto names = [&](TypeFilter filter) {
        Strings names;
        for (const std::int32_t i : ListedEntries(m, filter))
            names.push_back(m.Directory.EntryNames[i]);
        return names;
    };
    EXPECT_EQ(names(TypeFilter::All),
              (Strings{"ALPHA.PBF", "Beta.SRB", "beta.srb", "notes.txt", "zeta.mip"}));
    EXPECT_EQ(names(TypeFilter::SRB), (Strings{"Beta.SRB", "beta.srb"}));
}

// The order by sort keys against the plain comparison, on names of every byte 1-255 (case pairs of
// Windows-1252 among them), of every length up to a name field's 13 bytes, many of them equal but for case.
TEST(ListOrder, SortKeysOrderAsTheNameComparisonDoes) {
    std::mt19937 random(8);
    Strings names(3000);
    for (std::size_t i = 0; i < names.size(); ++i)
        for (std::size_t length = random() % 14; names[i].size() < length;)
            names[i] +=
                static_cast<char>(i % 3 == 0 ? "aAsS\x8A\x9A\xFF\x9F"[random() % 8] : 1 + random() % 255);
    std::vector<std::int32_t> expected(names.size());
    std::iota(expected.begin(), expected.end(), 0);
    std::stable_sort(expected.begin(), expected.end(), [&](std::int32_t a, std::int32_t b) {
        return CompareNamesIgnoringCase(names[a], names[b]) < 0;
    });
    EXPECT_EQ(SortedNameOrder(names), expected);
}

// The plain reading of a wildcard on folded names: * any run, ? one character.
static bool Glob(std::string_view p, std::string_view n) {
    if (!p.empty() && p[0] == '*') return Glob(p.substr(1), n) || (!n.empty() && Glob(p, n.substr(1)));
    return p.empty() ? n.empty()
                     : !n.empty() && (p[0] == '?' || p[0] == n[0]) && Glob(p.substr(1), n.substr(1));
}

// Each pattern (UTF-8) against each name (Windows-1252: É, é, Š, š) as that plain reading takes it: held
// anywhere without * or ?, matched whole with them, letter case folded. Text Windows-1252 cannot write
// keeps nothing, the empty pattern everything.
TEST(NameFilter, KeepsWhatAPlainReadingOfThePatternKeeps) {
    const Strings names = {"WALL.MIP", "wall2.mip", "\xC9t\xE9.txt", "\x8Aip.SRB", "\x9Aip.srb", "a*b?.3do",
                           "",         "x"};
    for (const std::string pattern :
         {"", "wall", "ALL.", ".MIP", "\xC3\xA9T", "\xC3\x89", "\xC5\xA1ip", "*", "?", "w*", "*.mip", "?all*",
          "*\xC5\xA0*", "*.?R?", "a*b?.3DO", "*i*p*.*l*", "x?", "**l"})
        for (const std::string& name : names) {
            const std::string p = FoldName(Utf8ToCp1252(pattern).value()), n = FoldName(name);
            const bool kept =
                p.find_first_of("*?") == std::string::npos ? n.find(p) != std::string::npos : Glob(p, n);
            EXPECT_EQ(NameMatches(ParseNamePattern(pattern), name), kept) << pattern << " | " << name;
        }
    EXPECT_FALSE(NameMatches(ParseNamePattern("\xC5\x82"), "\xB3")); // ł; 0xB3 is ³
    EXPECT_FALSE(NameMatches(ParseNamePattern("\xFF"), "\xFF"));     // not UTF-8
}
