// Add, remove, rename, import and replace on archive files in a temporary folder, and create from a
// folder: the bytes each writes, and the refusals, each of which leaves the archive as it was and no file
// beside it.

#include "archive/codepage.h"
#include "archive/file_system.h"
#include "archive/temporary_files.h"
#include "archive_builder.h"
#include "edit_support.h"
#include "editing/picture_import.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <sys/file.h>
#include <unistd.h>

using namespace kelvot;
using namespace kelvot::testkit;
namespace fs = std::filesystem;
using Data = std::vector<std::uint8_t>;

namespace {

template <typename... Parts> Data Cat(const Parts&... parts) {
    Data all;
    (all.insert(all.end(), std::begin(parts), std::end(parts)), ...);
    return all;
}

// Entries that hold text, listed as "NAME=text NAME=text".
std::vector<TestEntry> Entries(const std::string& list) {
    std::vector<TestEntry> entries;
    std::istringstream words(list);
    for (std::string word; words >> word;)
        entries.push_back({word.substr(0, word.find('=')), Bytes(word.substr(word.find('=') + 1))});
    return entries;
}

Data Texts(const std::string& list) {
    return BuildArchive(Entries(list));
}

// A, B and C.MIP of two bytes each, 89 bytes in all with the data area from byte 83, and B.MIP's record made
// to point elsewhere.
Data WithB(std::uint32_t offset, std::uint32_t size) {
    Data bytes = Texts("A.MIP=aa B.MIP=bb C.MIP=cc");
    PutU32(bytes, RecordStart(1) + kSizeField, size);
    PutU32(bytes, RecordStart(1) + kOffsetField, offset);
    return bytes;
}

class ArchiveEditTest : public ::testing::Test {
  protected:
    fs::path Archive(const Data& bytes) {
        WriteFile(dir / "T.DAT", bytes);
        return dir / "T.DAT";
    }
    fs::path Source(const std::string& name, const Data& bytes) {
        fs::create_directories(dir / "src");
        WriteFile(dir / "src" / name, bytes);
        return dir / "src" / name;
    }
    // Adds files made from the list, or the given files.
    EditResult Add(const fs::path& archive, const std::string& list, std::vector<fs::path> files = {}) {
        for (const TestEntry& e : Entries(list))
            files.push_back(Source(e.name, e.data));
        return Edited(archive,
                      [&](auto& l, auto& d) { return AddFiles(l, d, SelectAddCandidates(files).Packable); });
    }
    TempFolder dir;
};

} // namespace

// Records of another writer (leading bytes 7 7, a second size that differs), data out of order and bytes of
// no entry stay as they are; the offsets move by 27 per new record and the new data follow the old end.
TEST_F(ArchiveEditTest, AppendGivesTheBytesOfAnInPlaceAppend) {
    Data head = Texts("P.TXT=pppp Q.TXT=qq");
    head.resize(DirectoryEnd(2)); // 56
    head[RecordStart(0)] = head[RecordStart(0) + 1] = 7;
    PutU32(head, RecordStart(1) + kSizeField + 4, 99);
    PutU32(head, RecordStart(0) + kOffsetField, 58);
    PutU32(head, RecordStart(1) + kOffsetField, 56);
    const fs::path archive = Archive(Cat(head, Bytes("qqppppXYZ")));
    EXPECT_FALSE(Add(archive, "R.TXT=r S.TXT=ss").Repacked);
    PutU16(head, 0, 4);
    PutU32(head, RecordStart(0) + kOffsetField, 58 + 54);
    PutU32(head, RecordStart(1) + kOffsetField, 56 + 54);
    EXPECT_EQ(ReadFile(archive), Cat(head, EncodeDirectoryRecord(1, "R.TXT", 65 + 54),
                                     EncodeDirectoryRecord(2, "S.TXT", 66 + 54), Bytes("qqppppXYZrss")));

    // An entry outside the file and still outside afterwards, or an empty one, lets the append go ahead.
    for (const auto& [offset, size] : {std::pair{1000u, 2u}, {83u, 0x80000000u}, {0u, 0u}}) {
        EXPECT_FALSE(Add(Archive(WithB(offset, size)), "S.TXT=s").Repacked);
        EXPECT_EQ(LoadArchive(archive).EntryInsideFile(1), size == 0);
    }
}

// A clash rebuilds the archive. Temporary files of killed runs go first; one still locked stays. A process
// id above any the system hands out belongs to no process.
TEST_F(ArchiveEditTest, RebuildsKeepEveryOtherEntryInDirectoryOrderAndClearStaleFiles) {
    // README and LEVEL1.DATA could not be packed from a folder, and their data lie the other way round;
    // two entries share a name.
    Data old = Texts("NEW.MIP=old README=qqqq LEVEL1.DATA=pppp X.TXT=first x.txt=second ABC.MIP=abc");
    const std::uint32_t readme = ReadU32(old, RecordStart(1) + kOffsetField);
    PutU32(old, RecordStart(1) + kOffsetField, readme + 4);
    PutU32(old, RecordStart(2) + kOffsetField, readme);
    const fs::path archive = Archive(old);
    const std::string locked = std::string(kTemporaryPrefix) + "2147483601-0.tmp";
    for (const char* pid : {"2147483600", "2147483601"})
        WriteFile(dir / (std::string(kTemporaryPrefix) + pid + "-0.tmp"), {});
    WriteFile(dir / (std::string(kUndoPrefix) + "2147483600-0.old"), {});
    const int lockFd = ::open((dir / locked).c_str(), O_RDONLY);
    ASSERT_EQ(::flock(lockFd, LOCK_EX), 0);
    // new.mip takes NEW.MIP's place under the entry's name, x.TXT the first X.TXT's; ABC.MI (a clash, as a
    // leading part of ABC.MIP) follows at the end; OTHER.DAT cannot be packed.
    EXPECT_TRUE(Add(archive, "new.mip=NEW ABC.MI=mi OTHER.DAT=no x.TXT=X!").Repacked);
    ::close(lockFd);
    const Data expected =
        Texts("NEW.MIP=NEW README=pppp LEVEL1.DATA=qqqq X.TXT=X! x.txt=second ABC.MIP=abc ABC.MI=mi");
    EXPECT_EQ(FilesUnder(dir.path(), dir / "src"), (FileTree{{"T.DAT", expected}, {locked, {}}}));
}

// Import changes the picture's bytes and nothing else, bytes of no entry and a later sub-picture included;
// replace gives an entry any bytes under its own name and place.
TEST_F(ArchiveEditTest, ImportChangesOnlyThePictureAndReplaceOnlyTheEntry) {
    const Data wall = Picture(PictureKind::Pbf, 5, 5, 3, 1), other = Picture(PictureKind::Pbf, 5, 5, 3, 2);
    const Data old =
        Cat(BuildArchive({{"A.TXT", Bytes("a")}, {"WALL.PBF", Cat(wall, Bytes("sub"))}}), Bytes("gap"));
    const fs::path archive = Archive(old), png = Source("O.png", Png(PictureKind::Pbf, other));
    Edited(archive, [&](auto& l, auto& d) { ImportPicture(l, d, 1, png, 1); });
    Data expected = old;
    std::copy(other.begin(), other.end(), expected.begin() + RecordStart(2) + 1);
    EXPECT_EQ(ReadFile(archive), expected);

    Edited(archive, [&](auto& l, auto& d) { ReplaceEntry(l, d, 0, Source("Z.TXT", Bytes("zz"))); });
    EXPECT_EQ(ReadFile(archive),
              BuildArchive({{"A.TXT", Bytes("zz")}, {"WALL.PBF", Cat(other, Bytes("sub"))}}));
}

TEST_F(ArchiveEditTest, RenameWritesThirteenBytesInPlace) {
    Data expected = BuildArchive({{"ABC.MIP", DataOfType("MIP")}, {"DEF.SRB", DataOfType("SRB")}});
    const fs::path archive = Archive(expected);
    SetAttributes(archive, kReadOnly);
    const std::int64_t field = RecordStart(1) + kNameField;
    for (const char* name : {"NEWNAME1.PBF", "x.lp"}) { // the second clears the rest of the field
        Edited(archive, [&](auto& l, auto& d) { RenameEntry(l, d, field, name); });
        std::fill_n(expected.begin() + field, kNameFieldSize, 0);
        std::copy_n(name, std::strlen(name), expected.begin() + field);
        EXPECT_EQ(ReadFile(archive), expected);
        EXPECT_EQ(Attributes(archive), 0); // made writable
    }
}

TEST_F(ArchiveEditTest, RefusalsLeaveTheArchiveAsItWas) {
    using Edit = std::function<void(const fs::path&)>;
    const auto edit = [](auto change) -> Edit { return [=](const fs::path& a) { Edited(a, change); }; };
    const auto add = [&](fs::path f) -> Edit { return [=, this](auto& a) { Add(a, "", {f}); }; };
    const auto import = [&](std::int32_t i, fs::path f) {
        return edit([=](auto& l, auto& d) { ImportPicture(l, d, i, f, 1); });
    };
    const auto remove = [&](std::vector<std::int32_t> i) {
        return edit([=](auto& l, auto& d) { RemoveEntries(l, d, i); });
    };
    const Data outside = WithB(1000, 2);
    const std::string t = (dir / "T.DAT").string();
    // Sparse files: their length counts, no disk is used. With a one-entry archive the first makes 2 GiB.
    const fs::path small = Source("S.TXT", Bytes("s")), huge = Source("HUGE.BIN", {}),
                   whole = Source("W.BIN", {});
    fs::resize_file(huge, (1ull << 31) - 30 - 27);
    fs::resize_file(whole, 1ull << 31);
    // The directory as a caller read it before the file grew by a byte.
    const ArchiveModel seen = LoadArchive(Archive(Cat(outside, Data{0})));
    const auto moved = [](std::uint32_t offset, std::uint32_t size) {
        return "Entry 1 (\"B.MIP\") has its data outside the data area of the file (offset " +
               std::to_string(offset) + ", size " + std::to_string(size) +
               "; the data area runs from byte 83 to byte 89); adding files would change what it holds, so "
               "nothing was changed.";
    };
    const std::string entries =
        "The DAT file would hold 32768 entries; a DAT file holds at most 32767. Nothing was written.";
    // WALL.MIP, 4 x 3, then entries that cannot take a picture; in `shared` NOTE.TXT lies in WALL's pixels.
    const Data wall = Picture(PictureKind::Mip, 3, 4, 3, 1);
    const Data pictures = BuildArchive({{"WALL.MIP", wall},
                                        {"NOTE.TXT", Bytes("note")},
                                        {"ODD.MIP", Picture(PictureKind::Mip, 6, 4, 3, 1)},
                                        {"CUT.MIP", Data(wall.begin(), wall.end() - 1)}});
    Data shared = pictures;
    PutU32(shared, RecordStart(1) + kOffsetField, ReadU32(shared, RecordStart(0) + kOffsetField) + 100);
    const fs::path png = Source("W.png", Png(PictureKind::Mip, wall)),
                   wide = Source("F.png", Png(PictureKind::Mip, Picture(PictureKind::Mip, 3, 5, 3, 1))),
                   none = dir / "src" / "none.png";
    const auto cannot = [](const std::string& entry, const std::string& why) {
        return "The picture cannot go into " + entry + ": " + why + " Nothing was changed.";
    };
    const struct {
        Data old;
        Edit edit;
        std::string message;
    } refusals[] = {
        {outside, remove({0, 1, 2, 1}), "You cannot remove every file in the DAT file."},
        {outside, remove({3}), t + " has no entry 3."},
        {outside, [&](const fs::path& a) { RemoveEntries(EditLock(a), seen, std::vector<std::int32_t>{0}); },
         t + " has changed since it was opened. Nothing was changed; please open it again."},
        // An append would bring the new file's bytes under B.MIP, or rewrite the directory it lies in.
        {outside, add(Source("BIG.TXT", Data(1000, 'x'))), moved(1000, 2)},
        {WithB(20, 4), add(small), moved(20, 4)},
        {BuildArchive(std::vector<TestEntry>(32767, {"E.TXT", {}})), add(small), entries},
        {Texts("A.TXT=a"), add(huge),
         "The DAT file would be 2147483648 bytes long; a DAT file cannot grow to 2 GiB or more. Nothing was "
         "written."},
        {outside, add(whole),
         whole.string() + " is 2147483648 bytes long; a DAT file cannot hold a file of 2 GiB or more. "
                          "Nothing was written."},
        // Create, too, refuses before it makes the target.
        {outside,
         [&](const fs::path&) {
             WritePackedArchive(std::vector<PackableFile>(32768, {small, "S.TXT"}), dir / "N.DAT");
         },
         entries},
        // Changed by another program while it is rewritten: what that program wrote stays.
        {outside,
         [&](const fs::path& a) {
             WriteFile(a, Cat(outside, Data{0}));
             Edited(a, [&](auto& l, auto& d) {
                 RemoveEntries(l, d, std::vector<std::int32_t>{1},
                               [&](std::int64_t done, std::int64_t total) {
                                   if (done == total) WriteFile(a, outside);
                               });
             });
         },
         t + " was changed by another program while it was rewritten. Nothing was changed; please open it "
             "again."},
        // No entry's name field, or one that entry 1's data lies over (entry 0's, from byte 12).
        {outside, edit([](auto& l, auto& d) { RenameEntry(l, d, 40, "Z.MIP"); }),
         "Offset 40 is not the name field of an entry of " + t + "."},
        {WithB(17, 2), edit([](auto& l, auto& d) { RenameEntry(l, d, 12, "Z.MIP"); }),
         "The name cannot be changed: the data of entry 1 (\"B.MIP\") lies over it in the directory. Nothing "
         "was changed."},
        // Import: entries that cannot take a picture, files that are not this picture; replace, like every
        // rebuild, would lose the entry outside the file.
        {pictures, import(1, png), cannot("\"NOTE.TXT\" (entry 1)", "it is not a picture entry.")},
        {pictures, import(2, png),
         cannot("\"ODD.MIP\" (entry 2)", "its format code 6 is not a picture format Kelvot can decode.")},
        {pictures, import(3, png),
         cannot("\"CUT.MIP\" (entry 3)", "its picture does not fit in the entry's bytes.")},
        {shared, import(0, png),
         cannot("\"WALL.MIP\" (entry 0)",
                "its picture shares bytes with entry 1 (\"NOTE.TXT\"), which would change too.")},
        {outside, import(1, png), cannot("\"B.MIP\" (entry 1)", "its data lies outside the archive file.")},
        {pictures, import(0, wide),
         wide.string() + " is 5 x 3 pixels, but the picture of \"WALL.MIP\" is 4 x 3. Nothing was changed."},
        {pictures, import(0, small),
         small.string() + " is not a picture Kelvot can read. Nothing was changed."},
        {pictures, import(0, none), "Cannot open " + none.string() + ": No such file or directory"},
        {outside, edit([&](auto& l, auto& d) { ReplaceEntry(l, d, 0, small); }),
         "Entry 1 (\"B.MIP\") has its data outside the file (offset 1000, size 2, file 89 bytes); rebuilding "
         "the "
         "DAT file would lose it, so nothing was changed."},
    };
    for (const auto& r : refusals) {
        const fs::path archive = Archive(r.old);
        EXPECT_EQ(Failure([&] { r.edit(archive); }), r.message);
        EXPECT_EQ(FilesUnder(dir.path(), dir / "src"), (FileTree{{"T.DAT", r.old}}));
    }
    // The broken entry itself can go.
    remove({1})(Archive(outside));
    EXPECT_EQ(ReadFile(dir / "T.DAT"), Texts("A.MIP=aa C.MIP=cc"));
}

// The folder's packable files in the order it lists them, an empty one too, under their Windows-1252 names;
// the others are left out, a subfolder without a word. 2 + 6 × 27 + 36 bytes of data.
TEST_F(ArchiveEditTest, CreatesAnArchiveOfThePackableFilesInTheFoldersOrder) {
    const std::string packable = " A.TXT ABCDEFGH.MIP door.lp .ab \xC3\x89T\xC3\x89.txt E.TXT ";
    for (const char* name : {"A.TXT", "LONGNAME1234.BMP", "OLD.DAT", "README", "PIC.JPEG", "ABCDEFGH.MIP",
                             "x.Dat", "A.B", "door.lp", ".ab", "\xC3\x89T\xC3\x89.txt", "\xE6\x97\xA5.txt"})
        WriteFile(dir / name, Bytes(name));
    WriteFile(dir / "E.TXT", {});
    fs::create_directory(dir / "SUB.TXT");
    const CreateResult result = CreateArchive(dir.path(), "New.DAT");
    std::vector<TestEntry> entries;
    for (const auto& file : fs::directory_iterator(dir.path())) // in the order the system lists them
        if (const std::string name = file.path().filename();
            packable.find(" " + name + " ") != std::string::npos)
            entries.push_back({*Utf8ToCp1252(name), name == "E.TXT" ? Data{} : Bytes(name)});
    const Data expected = BuildArchive(entries);
    ASSERT_EQ(expected.size(), 200u);
    EXPECT_EQ(ReadFile(result.Target), expected);
    EXPECT_EQ(result.LeftOut.size(), 7u);
}

// An existing archive keeps its mode (made writable) and a link keeps leading to it.
TEST_F(ArchiveEditTest, ReplacesATargetKeepingItsModeAndLinks) {
    WriteFile(dir / "A.TXT", Bytes("new"));
    WriteFile(dir / "T.DAT", Bytes("old archive"));
    SetAttributes(dir / "T.DAT", kReadOnly);
    ASSERT_TRUE(CreateArchive(dir.path(), "T.DAT").Created);
    const Data created = Texts("A.TXT=new");
    EXPECT_EQ(ReadFile(dir / "T.DAT"), created);
    EXPECT_EQ(Attributes(dir / "T.DAT"), 0);
    fs::permissions(dir / "T.DAT", fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink("T.DAT", dir / "L.DAT");
    // The archive is passed over by either name, not left out.
    EXPECT_TRUE(CreateArchive(dir.path(), "L.DAT").LeftOut.empty());
    EXPECT_TRUE(fs::is_symlink(dir / "L.DAT"));
    EXPECT_EQ(ReadFile(dir / "T.DAT"), created);
    EXPECT_EQ(fs::status(dir / "T.DAT").permissions(), fs::perms::owner_read | fs::perms::owner_write);

    // A folder that takes no new file: the message names the temporary file, not the archive.
    const HookInPlace hook([](FileStep s, const fs::path&) { return s == FileStep::Create ? EACCES : 0; });
    EXPECT_EQ(Failure([&] { CreateArchive(dir.path(), "N.DAT"); }),
              "Cannot create a temporary file beside " + (dir / "N.DAT").string() + ": Permission denied");
}
