// Add, remove, rename, import and replace on archive files in a temporary folder, and create from a
// folder: the bytes each writes, and the refusals, each of which leaves the archive as it was and no file
// beside it.

#include "archive/codepage.h"
#include "archive/file_system.h"
#include "archive/temporary_files.h"
#include "archive_builder.h"
#include "edit_support.h"
#include "editing/archive_edit.h"
#include "editing/packing.h"
#include "editing/picture_import.h"
#include "export/png_export.h"
#include "picture_builder.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <span>
#include <sys/file.h>
#include <unistd.h>

using namespace kelvot;
using namespace kelvot::testkit;
namespace fs = std::filesystem;
using Data = std::vector<std::uint8_t>;

namespace {

Data Cat(std::initializer_list<std::span<const std::uint8_t>> parts) {
    Data all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

class ArchiveEditTest : public ::testing::Test {
  protected:
    fs::path Archive(const Data& bytes, const std::string& name = "T.DAT") {
        WriteFile(dir / name, bytes);
        return dir / name;
    }
    fs::path Source(const std::string& name, const Data& bytes) {
        fs::create_directories(dir / "src");
        WriteFile(dir / "src" / name, bytes);
        return dir / "src" / name;
    }
    EditResult Add(const fs::path& archive, const std::vector<fs::path>& files) {
        return AddFiles(EditLock(archive), ReadArchiveDirectory(archive),
                        SelectAddCandidates(files).Packable);
    }
    EditResult Remove(const fs::path& archive, const std::vector<std::int32_t>& indices) {
        return RemoveEntries(EditLock(archive), ReadArchiveDirectory(archive), indices);
    }
    void Rename(const fs::path& archive, std::int64_t nameField, std::string_view name) {
        RenameEntry(EditLock(archive), ReadArchiveDirectory(archive), nameField, name);
    }
    TempFolder dir;
};
using PackingTest = ArchiveEditTest;

// A, B and C.MIP of two bytes each, 89 bytes in all with the data area from byte 83, and B.MIP's record made
// to point elsewhere.
Data WithB(std::uint32_t offset, std::uint32_t size) {
    Data bytes = BuildArchive({{"A.MIP", Bytes("aa")}, {"B.MIP", Bytes("bb")}, {"C.MIP", Bytes("cc")}});
    PutU32(bytes, RecordStart(1) + kSizeField, size);
    PutU32(bytes, RecordStart(1) + kOffsetField, offset);
    return bytes;
}

} // namespace

TEST_F(ArchiveEditTest, AppendGivesTheBytesOfAnInPlaceAppend) {
    // n = 2, L = 100, one new file of 10 bytes: 137 bytes.
    const Data old = BuildArchive({{"A.MIP", DataOfType("MIP", 20)}, {"B.SRB", DataOfType("SRB", 24)}});
    const fs::path archive = Archive(old);
    EXPECT_FALSE(Add(archive, {Source("NEW.TXT", Bytes("0123456789"))}).Repacked);
    Data head(old.begin(), old.begin() + 56);
    PutU16(head, 0, 3);
    PutU32(head, RecordStart(0) + kOffsetField, 56 + 27);
    PutU32(head, RecordStart(1) + kOffsetField, 76 + 27);
    const Data expected = Cat({head, EncodeDirectoryRecord(10, "NEW.TXT", 127),
                               Data(old.begin() + 56, old.end()), Bytes("0123456789")});
    ASSERT_EQ(expected.size(), 137u);
    EXPECT_EQ(ReadWholeFile(archive), expected);

    // Records of another writer (leading bytes 7 7, a second size that differs), data out of order and bytes
    // of no entry stay as they are; only the offsets move, by 27 per new record.
    Data odd = BuildArchive({{"P.TXT", Bytes("pppp")}, {"Q.TXT", Bytes("qq")}});
    odd[RecordStart(0)] = odd[RecordStart(0) + 1] = 7;
    PutU32(odd, RecordStart(1) + kSizeField + 4, 99);
    PutU32(odd, RecordStart(0) + kOffsetField, 58);
    PutU32(odd, RecordStart(1) + kOffsetField, 56);
    head.assign(odd.begin(), odd.begin() + 56);
    Add(Archive(Cat({head, Bytes("qqppppXYZ")})),
        {Source("R.TXT", Bytes("r")), Source("S.TXT", Bytes("ss"))});
    PutU16(head, 0, 4);
    PutU32(head, RecordStart(0) + kOffsetField, 58 + 54);
    PutU32(head, RecordStart(1) + kOffsetField, 56 + 54);
    EXPECT_EQ(ReadWholeFile(archive),
              Cat({head, EncodeDirectoryRecord(1, "R.TXT", 65 + 54),
                   EncodeDirectoryRecord(2, "S.TXT", 66 + 54), Bytes("qqppppXYZrss")}));

    // An entry outside the file and still outside afterwards, or an empty one, lets the append go ahead.
    for (const auto& [offset, size] : {std::pair{1000u, 2u}, {83u, 0x80000000u}, {0u, 0u}}) {
        const fs::path archive = Archive(WithB(offset, size));
        EXPECT_FALSE(Add(archive, {Source("S.TXT", Bytes("s"))}).Repacked);
        EXPECT_EQ(LoadArchive(archive).EntryInsideFile(1), size == 0);
    }
}

// A clash rebuilds the archive. Temporary files of killed runs go first; those of a living process, or
// still locked, stay. A process id above any the system hands out belongs to no process.
TEST_F(ArchiveEditTest, RebuildsKeepEveryOtherEntryInDirectoryOrderAndClearStaleFiles) {
    // README and LEVEL1.DATA could not be packed from a folder, and their data lie the other way round;
    // two entries share a name.
    Data old = BuildArchive({{"NEW.MIP", Bytes("old")},
                             {"README", Bytes("qqqq")},
                             {"LEVEL1.DATA", Bytes("pppp")},
                             {"X.TXT", Bytes("first")},
                             {"x.txt", Bytes("second")},
                             {"ABC.MIP", Bytes("abc")}});
    const std::uint32_t readme = ReadU32(old, RecordStart(1) + kOffsetField);
    PutU32(old, RecordStart(1) + kOffsetField, readme + 4);
    PutU32(old, RecordStart(2) + kOffsetField, readme);
    const fs::path archive = Archive(old);
    const std::string living = std::string(kTemporaryPrefix) + std::to_string(::getppid()) + "-0.tmp";
    const std::string locked = std::string(kTemporaryPrefix) + "2147483601-0.tmp";
    for (const auto& name : {std::string(kTemporaryPrefix) + "2147483600-0.tmp", living, locked})
        WriteFile(dir / name, Bytes("partial"));
    const int lockFd = ::open((dir / locked).c_str(), O_RDONLY);
    ASSERT_EQ(::flock(lockFd, LOCK_EX), 0);

    const EditResult result = Add(archive, {Source("new.mip", Bytes("NEW")), Source("ABC.MI", Bytes("mi")),
                                            Source("OTHER.DAT", Bytes("no")), Source("x.TXT", Bytes("X!"))});
    ::close(lockFd);
    EXPECT_TRUE(result.Repacked);
    EXPECT_EQ(result.EntryCount, 7);
    // new.mip takes NEW.MIP's place under the entry's name, x.TXT the first X.TXT's; ABC.MI (a clash, as a
    // leading part of ABC.MIP) follows at the end; OTHER.DAT cannot be packed.
    EXPECT_EQ(ReadWholeFile(archive), BuildArchive({{"NEW.MIP", Bytes("NEW")},
                                                    {"README", Bytes("pppp")},
                                                    {"LEVEL1.DATA", Bytes("qqqq")},
                                                    {"X.TXT", Bytes("X!")},
                                                    {"x.txt", Bytes("second")},
                                                    {"ABC.MIP", Bytes("abc")},
                                                    {"ABC.MI", Bytes("mi")}}));
    EXPECT_EQ(FolderNames(dir.path()), (std::set<std::string>{"T.DAT", "src", living, locked}));
}

// Import changes the picture's bytes and nothing else, bytes of no entry and a later sub-picture included;
// replace gives an entry any bytes under its own name and place.
TEST_F(ArchiveEditTest, ImportChangesOnlyThePictureAndReplaceOnlyTheEntry) {
    const Data wall = EncodePicture(RandomPicture(PictureKind::Pbf, 5, 5, 3, 1));
    const Data other = EncodePicture(RandomPicture(PictureKind::Pbf, 5, 5, 3, 2));
    const Data old = Cat({BuildArchive({{"A.TXT", Bytes("a")}, {"WALL.PBF", Cat({wall, Bytes("sub")})}}), Bytes("gap")});
    const fs::path archive = Archive(old);
    const fs::path png = Source("O.png", EncodePng(PictureKind::Pbf, other, *DecodePicture(PictureKind::Pbf, other)));
    EXPECT_EQ(ImportPicture(EditLock(archive), ReadArchiveDirectory(archive), 1, png, 1).ReducedFrom, 0);
    Data expected = old;
    std::copy(other.begin(), other.end(), expected.begin() + RecordStart(2) + 1);
    EXPECT_EQ(ReadWholeFile(archive), expected);

    ReplaceEntry(EditLock(archive), ReadArchiveDirectory(archive), 0, Source("Z.TXT", Bytes("zz")));
    EXPECT_EQ(ReadWholeFile(archive), BuildArchive({{"A.TXT", Bytes("zz")}, {"WALL.PBF", Cat({other, Bytes("sub")})}}));
}

TEST_F(ArchiveEditTest, RenameWritesThirteenBytesInPlace) {
    Data expected = BuildArchive({{"ABC.MIP", DataOfType("MIP")}, {"DEF.SRB", DataOfType("SRB")}});
    const fs::path archive = Archive(expected);
    SetAttributes(archive, kReadOnly);
    const std::int64_t field = RecordStart(1) + kNameField;
    Rename(archive, field, "NEWNAME1.PBF");
    std::copy_n("NEWNAME1.PBF", 13, expected.begin() + field);
    EXPECT_EQ(ReadWholeFile(archive), expected);
    EXPECT_EQ(Attributes(archive), 0); // made writable
    Rename(archive, field, "x.lp");    // clears the rest of the field
    std::copy_n("x.lp\0\0\0\0\0\0\0\0\0", 13, expected.begin() + field);
    EXPECT_EQ(ReadWholeFile(archive), expected);
}

TEST_F(ArchiveEditTest, RefusalsLeaveTheArchiveAsItWas) {
    const Data outside = WithB(1000, 2);
    const std::string t = (dir / "T.DAT").string();
    const fs::path big = Source("BIG.TXT", Data(1000, 'x')), small = Source("S.TXT", Bytes("s"));
    const fs::path huge = Source("HUGE.BIN", {});
    fs::resize_file(huge, (1ull << 31) - 30 - 27); // sparse; with a one-entry archive and its record 2 GiB
    std::vector<TestEntry> full;
    for (int i = 0; i < 32767; ++i)
        full.push_back({"E" + std::to_string(i) + ".TXT", {}});
    // The directory as a caller read it before the file grew by a byte.
    const ArchiveDirectory seen = ReadArchiveDirectory(Archive(Cat({outside, Data{0}})));
    const std::string stale =
        t + " has changed since it was opened. Nothing was changed; please open it again.";
    const std::string lost =
        "Entry 1 (\"B.MIP\") has its data outside the file (offset 1000, size 2, file 89 "
        "bytes); rebuilding the DAT file would lose it, so nothing was changed.";
    const auto moved = [](std::uint32_t offset, std::uint32_t size) {
        return "Entry 1 (\"B.MIP\") has its data outside the data area of the file (offset " +
               std::to_string(offset) + ", size " + std::to_string(size) +
               "; the data area runs from byte 83 to byte 89); adding files would change what it holds, so "
               "nothing was changed.";
    };
    using Edit = std::function<void(const fs::path&)>;
    const auto add = [&](fs::path file) -> Edit { return [=, this](const fs::path& a) { Add(a, {file}); }; };
    const auto remove = [&](std::vector<std::int32_t> i) -> Edit {
        return [=, this](const fs::path& a) { Remove(a, i); };
    };
    const auto rename = [&](std::int64_t field) -> Edit {
        return [=, this](const fs::path& a) { Rename(a, field, "Z.MIP"); };
    };
    const auto import = [&](std::int32_t index, fs::path file) -> Edit {
        return [=](const fs::path& a) {
            ImportPicture(EditLock(a), ReadArchiveDirectory(a), index, file, 1);
        };
    };
    // WALL.MIP, a 4 x 3 picture, then entries that cannot take one; in `shared` NOTE.TXT lies in WALL's pixels.
    const Data wall = EncodePicture(RandomPicture(PictureKind::Mip, 3, 4, 3, 1));
    const Data pictures = BuildArchive({{"WALL.MIP", wall},
                                        {"NOTE.TXT", Bytes("note")},
                                        {"ODD.MIP", EncodePicture(RandomPicture(PictureKind::Mip, 6, 4, 3, 1))},
                                        {"CUT.MIP", Data(wall.begin(), wall.end() - 1)}});
    Data shared = pictures;
    PutU32(shared, RecordStart(1) + kOffsetField, ReadU32(shared, RecordStart(0) + kOffsetField) + 100);
    const fs::path png = Source("W.png", EncodePng(PictureKind::Mip, wall, *DecodePicture(PictureKind::Mip, wall)));
    const Data five = EncodePicture(RandomPicture(PictureKind::Mip, 3, 5, 3, 1));
    const fs::path wide = Source("F.png", EncodePng(PictureKind::Mip, five, *DecodePicture(PictureKind::Mip, five)));
    const auto cannot = [](const std::string& entry, const std::string& why) {
        return "The picture cannot go into " + entry + ": " + why + " Nothing was changed.";
    };
    const auto notAField = [&](std::int64_t field) {
        return "Offset " + std::to_string(field) + " is not the name field of an entry of " + t + ".";
    };
    struct Refusal {
        Data old;
        Edit edit;
        std::string message;
    };
    const Refusal refusals[] = {
        {outside, remove({0, 1, 2, 1}), "You cannot remove every file in the DAT file."},
        {outside, remove({3}), t + " has no entry 3."},
        {outside, add(Source("a.mip", Bytes("new"))), lost},
        {outside, [&](const fs::path& a) { RemoveEntries(EditLock(a), seen, std::vector<std::int32_t>{0}); },
         stale},
        {outside,
         [&](const fs::path& a) { RenameEntry(EditLock(a), seen, RecordStart(0) + kNameField, "Z.MIP"); },
         stale},
        // An append would bring the new file's bytes under B.MIP, move it past 2^32 to the file's start, or
        // rewrite the directory it lies in.
        {outside, add(big), moved(1000, 2)},
        {WithB(0xFFFFFFF0u, 2), add(small), moved(0xFFFFFFF0u, 2)},
        {WithB(20, 4), add(small), moved(20, 4)},
        {BuildArchive(full), add(small),
         "The DAT file would hold 32768 entries; a DAT file holds at most 32767. Nothing was written."},
        {BuildArchive({{"A.TXT", Bytes("a")}}), add(huge),
         "The DAT file would be 2147483648 bytes long; a DAT file cannot grow to 2 GiB or more. Nothing was "
         "written."},
        // Changed by another program while it is rewritten: what that program wrote stays.
        {outside,
         [&](const fs::path& a) {
             WriteFile(a, Cat({outside, Data{0}}));
             const auto other = [&](std::int64_t done, std::int64_t total) {
                 if (done == total) WriteFile(a, outside);
             };
             RemoveEntries(EditLock(a), ReadArchiveDirectory(a), std::vector<std::int32_t>{1}, other);
         },
         t + " was changed by another program while it was rewritten. Nothing was changed; please open it "
             "again."},
        // No entry's name field, or one that entry 1's data lies over.
        {outside, rename(RecordStart(3) + kNameField), notAField(RecordStart(3) + kNameField)},
        {outside, rename(RecordStart(1) + kNameField + 1), notAField(RecordStart(1) + kNameField + 1)},
        {WithB(RecordStart(0) + kNameField + 5, 2), rename(RecordStart(0) + kNameField),
         "The name cannot be changed: the data of entry 1 (\"B.MIP\") lies over it in the directory. Nothing "
         "was changed."},
        // Import: entries that cannot take a picture, files that are not this picture; replace, like every
        // rebuild, would lose the entry outside the file.
        {pictures, import(1, png), cannot("\"NOTE.TXT\" (entry 1)", "it is not a picture entry.")},
        {pictures, import(2, png),
         cannot("\"ODD.MIP\" (entry 2)", "its format code 6 is not a picture format Kelvot can decode.")},
        {pictures, import(3, png), cannot("\"CUT.MIP\" (entry 3)", "its picture does not fit in the entry's bytes.")},
        {shared, import(0, png),
         cannot("\"WALL.MIP\" (entry 0)", "its picture shares bytes with entry 1 (\"NOTE.TXT\"), which would change too.")},
        {outside, import(1, png), cannot("\"B.MIP\" (entry 1)", "its data lies outside the archive file.")},
        {pictures, import(0, wide),
         wide.string() + " is 5 x 3 pixels, but the picture of \"WALL.MIP\" is 4 x 3. Nothing was changed."},
        {pictures, import(0, small), small.string() + " is not a picture Kelvot can read. Nothing was changed."},
        {pictures, import(0, dir / "src" / "none.png"),
         "Cannot open " + (dir / "src" / "none.png").string() + ": No such file or directory"},
        {outside, [&](const fs::path& a) { ReplaceEntry(EditLock(a), ReadArchiveDirectory(a), 0, small); }, lost},
    };
    for (const Refusal& r : refusals) {
        const fs::path archive = Archive(r.old);
        EXPECT_EQ(Failure([&] { r.edit(archive); }), r.message);
        EXPECT_EQ(ReadWholeFile(archive), r.old);
        EXPECT_EQ(FolderNames(dir.path()), (std::set<std::string>{"T.DAT", "src"}));
    }
    // The broken entry itself can go.
    Remove(Archive(outside), {1});
    EXPECT_EQ(ReadWholeFile(dir / "T.DAT"), BuildArchive({{"A.MIP", Bytes("aa")}, {"C.MIP", Bytes("cc")}}));
}

// Sparse files: their length counts, no disk is used.
TEST_F(PackingTest, RefusesLimitsBeforeWritingAnything) {
    const auto sparse = [&](const std::string& name, std::uint64_t size) {
        const fs::path file = Source(name, {});
        fs::resize_file(file, size);
        return PackableFile{file, name};
    };
    const auto pack = [&](const std::vector<PackableFile>& files) {
        return Failure([&] { WritePackedArchive(files, dir / "OUT.DAT"); });
    };
    EXPECT_EQ(pack({sparse("HUGE.BIN", 1ull << 31)}),
              (dir / "src" / "HUGE.BIN").string() + " is 2147483648 bytes long; a DAT file cannot hold a "
                                                    "file of 2 GiB or more. Nothing was written.");
    EXPECT_EQ(pack({sparse("HALF1.BIN", (1ull << 30) + 1), sparse("HALF2.BIN", 1ull << 30)}),
              "The DAT file would be 2147483705 bytes long; a DAT file cannot grow to 2 GiB or more. "
              "Nothing was written.");
    EXPECT_EQ(pack(std::vector<PackableFile>(32768, sparse("S.TXT", 1))),
              "The DAT file would hold 32768 entries; a DAT file holds at most 32767. Nothing was written.");
    EXPECT_EQ(FolderNames(dir.path()), std::set<std::string>{"src"});
}

// The folder's packable files in the order it lists them, an empty one too, under their Windows-1252 names;
// the others are left out, a subfolder without a word. 2 + 6 × 27 + 36 bytes of data.
TEST_F(PackingTest, CreatesAnArchiveOfThePackableFilesInTheFoldersOrder) {
    const std::set<std::string> packable = {"A.TXT", "ABCDEFGH.MIP",          "door.lp",
                                            ".ab",   "\xC3\x89T\xC3\x89.txt", "E.TXT"};
    for (const char* name : {"A.TXT", "LONGNAME1234.BMP", "OLD.DAT", "README", "PIC.JPEG", "ABCDEFGH.MIP",
                             "x.Dat", "A.B", "door.lp", ".ab", "\xC3\x89T\xC3\x89.txt", "\xE6\x97\xA5.txt"})
        WriteFile(dir / name, Bytes(name));
    WriteFile(dir / "E.TXT", {});
    fs::create_directory(dir / "SUB.TXT");
    std::int64_t lastDone = 0;
    const CreateResult result =
        CreateArchive(dir.path(), "New.DAT", [&](std::int64_t done, std::int64_t) { lastDone = done; });
    std::vector<TestEntry> entries;
    for (const std::string& name : ListedOrder(dir.path()))
        if (packable.contains(name))
            entries.push_back({*Utf8ToCp1252(name), name == "E.TXT" ? Data{} : Bytes(name)});
    const Data expected = BuildArchive(entries);
    ASSERT_EQ(expected.size(), 200u);
    EXPECT_EQ(ReadWholeFile(result.Target), expected);
    EXPECT_EQ(result.EntryCount, 6);
    EXPECT_EQ(lastDone, 200);
    EXPECT_EQ(result.LeftOut.size(), 7u);
}

// An existing archive keeps its mode (made writable) and a link keeps leading to it.
TEST_F(PackingTest, ReplacesATargetKeepingItsModeAndLinks) {
    WriteFile(dir / "A.TXT", Bytes("new"));
    WriteFile(dir / "T.DAT", Bytes("old archive"));
    SetAttributes(dir / "T.DAT", kReadOnly);
    ASSERT_TRUE(CreateArchive(dir.path(), "T.DAT").Created);
    const auto created = BuildArchive({{"A.TXT", Bytes("new")}});
    EXPECT_EQ(ReadWholeFile(dir / "T.DAT"), created);
    EXPECT_EQ(Attributes(dir / "T.DAT"), 0);
    fs::permissions(dir / "T.DAT", fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink("T.DAT", dir / "L.DAT");
    const CreateResult throughLink = CreateArchive(dir.path(), "L.DAT");
    EXPECT_TRUE(throughLink.Created);
    EXPECT_TRUE(throughLink.LeftOut.empty()); // the archive is passed over by either name, not left out
    EXPECT_TRUE(fs::is_symlink(dir / "L.DAT"));
    EXPECT_EQ(ReadWholeFile(dir / "T.DAT"), created);
    EXPECT_EQ(fs::status(dir / "T.DAT").permissions(), fs::perms::owner_read | fs::perms::owner_write);

    // A folder that takes no new file: the message names the temporary file, not the archive.
    const HookInPlace hook([](FileStep s, const fs::path&) { return s == FileStep::Create ? EACCES : 0; });
    EXPECT_EQ(Failure([&] { CreateArchive(dir.path(), "N.DAT"); }),
              "Cannot create a temporary file beside " + (dir / "N.DAT").string() + ": Permission denied");
}
