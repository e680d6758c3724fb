#include "archive/dat_format.h"
#include "archive/error.h"
#include "archive_builder.h"
#include "edit_support.h"
#include "editing/archive_edit.h"
#include "editing/safe_replace.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <tuple>
#include <unistd.h>

using namespace kelvot;
using namespace kelvot::testkit;
namespace fs = std::filesystem;

class ArchiveEditTest : public ::testing::Test {
  protected:
    fs::path Archive(const std::vector<std::uint8_t>& bytes, const std::string& name = "T.DAT") {
        WriteFile(dir / name, bytes);
        return dir / name;
    }
    fs::path Source(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        fs::create_directories(dir / "src");
        WriteFile(dir / "src" / name, bytes);
        return dir / "src" / name;
    }
    EditResult Add(const fs::path& archive, const std::vector<fs::path>& files) {
        return AddFiles(archive, ReadArchiveDirectory(archive), SelectAddCandidates(files).Packable);
    }
    EditResult Remove(const fs::path& archive, const std::vector<std::int32_t>& indices) {
        return RemoveEntries(archive, ReadArchiveDirectory(archive), indices);
    }
    std::string Failure(const std::function<void()>& edit) {
        try {
            edit();
        } catch (const KelvotError& e) {
            return e.what();
        }
        return "(no failure)";
    }
    TempFolder dir;
};

TEST_F(ArchiveEditTest, AppendGivesTheBytesOfAnInPlaceAppend) {
    // n = 2, L = 100, one new file of 10 bytes: 137 bytes.
    const auto old = BuildArchive({{"A.MIP", DataOfType("MIP", 20)}, {"B.SRB", DataOfType("SRB", 24)}});
    const fs::path archive = Archive(old);
    EXPECT_FALSE(Add(archive, {Source("NEW.TXT", Bytes("0123456789"))}).Repacked);
    std::vector<std::uint8_t> expected(old.begin(), old.begin() + 56);
    PutU16(expected, 0, 3);
    PutU32(expected, RecordStart(0) + kOffsetField, 56 + 27);
    PutU32(expected, RecordStart(1) + kOffsetField, 76 + 27);
    const auto record = EncodeDirectoryRecord(10, "NEW.TXT", 127);
    expected.insert(expected.end(), record.begin(), record.end());
    expected.insert(expected.end(), old.begin() + 56, old.end()); // bytes 83 to 126
    for (const char c : std::string("0123456789"))
        expected.push_back(static_cast<std::uint8_t>(c));
    EXPECT_EQ(ReadBytes(archive), expected);
    EXPECT_EQ(expected.size(), 137u);

    // Records of another writer (leading bytes 7 7, a second size that differs), data out of order and bytes
    // of no entry stay as they are; only the offsets move, by 27 per new record.
    auto odd = BuildArchive({{"P.TXT", Bytes("pppp")}, {"Q.TXT", Bytes("qq")}});
    odd[RecordStart(0)] = odd[RecordStart(0) + 1] = 7;
    PutU32(odd, RecordStart(1) + kSizeField + 4, 99);
    PutU32(odd, RecordStart(0) + kOffsetField, 58);
    PutU32(odd, RecordStart(1) + kOffsetField, 56);
    odd.resize(56);
    for (const char c : std::string("qqppppXYZ"))
        odd.push_back(static_cast<std::uint8_t>(c));
    Add(Archive(odd), {Source("R.TXT", Bytes("r")), Source("S.TXT", Bytes("ss"))});
    expected = odd;
    PutU16(expected, 0, 4);
    PutU32(expected, RecordStart(0) + kOffsetField, 58 + 54);
    PutU32(expected, RecordStart(1) + kOffsetField, 56 + 54);
    expected.resize(56);
    for (const auto& r :
         {EncodeDirectoryRecord(1, "R.TXT", 65 + 54), EncodeDirectoryRecord(2, "S.TXT", 66 + 54)})
        expected.insert(expected.end(), r.begin(), r.end());
    expected.insert(expected.end(), odd.begin() + 56, odd.end());
    expected.insert(expected.end(), {'r', 's', 's'});
    EXPECT_EQ(ReadBytes(dir / "T.DAT"), expected);
}

TEST_F(ArchiveEditTest, AClashRebuildsKeepingEveryEntryInDirectoryOrder) {
    // README and LEVEL1.DATA could not be packed from a folder; two entries share a name.
    const fs::path archive = Archive(BuildArchive({{"NEW.MIP", Bytes("old")},
                                                   {"README", Bytes("read me")},
                                                   {"LEVEL1.DATA", Bytes("level")},
                                                   {"X.TXT", Bytes("first")},
                                                   {"x.txt", Bytes("second")},
                                                   {"ABC.MIP", Bytes("abc")}}));
    const EditResult result = Add(archive, {Source("new.mip", Bytes("NEW")), Source("ABC.MI", Bytes("mi")),
                                            Source("OTHER.DAT", Bytes("no")), Source("x.TXT", Bytes("X!"))});
    EXPECT_TRUE(result.Repacked);
    EXPECT_EQ(result.EntryCount, 7);
    // new.mip takes NEW.MIP's place under the entry's name, x.TXT the first X.TXT's; ABC.MI (a clash, as a
    // leading part of ABC.MIP) follows at the end; OTHER.DAT cannot be packed.
    EXPECT_EQ(ReadBytes(archive), BuildArchive({{"NEW.MIP", Bytes("NEW")},
                                                {"README", Bytes("read me")},
                                                {"LEVEL1.DATA", Bytes("level")},
                                                {"X.TXT", Bytes("X!")},
                                                {"x.txt", Bytes("second")},
                                                {"ABC.MIP", Bytes("abc")},
                                                {"ABC.MI", Bytes("mi")}}));
}

TEST_F(ArchiveEditTest, RemoveRebuildsWithoutTheEntries) {
    const auto a = DataOfType("MIP", 30), b = DataOfType("MIP", 20), c = DataOfType("SRB", 10);
    const fs::path archive = Archive(BuildArchive({{"A.MIP", a}, {"B.MIP", b}, {"C.SRB", c}}));
    EXPECT_EQ(Remove(archive, {1}).EntryCount, 2);
    const auto bytes = ReadBytes(archive);
    EXPECT_EQ(bytes, BuildArchive({{"A.MIP", a}, {"C.SRB", c}}));
    EXPECT_EQ(ReadU32(bytes, RecordStart(1) + kOffsetField), 56u + 30u);

    // Unpackable and equal names stay; data out of order is written back in directory order.
    auto old = BuildArchive({{"README", Bytes("pppp")}, {"X.DATA", Bytes("qq")}, {"X.DATA", Bytes("r")}});
    PutU32(old, RecordStart(0) + kOffsetField, 2 + 81 + 2);
    PutU32(old, RecordStart(1) + kOffsetField, 2 + 81);
    std::copy_n("qqpppp", 6, old.begin() + 2 + 81);
    Remove(Archive(old), {2});
    EXPECT_EQ(ReadBytes(dir / "T.DAT"), BuildArchive({{"README", Bytes("pppp")}, {"X.DATA", Bytes("qq")}}));
}

TEST_F(ArchiveEditTest, RefusalsLeaveTheArchiveAsItWas) {
    auto old = BuildArchive({{"A.MIP", Bytes("aa")}, {"B.MIP", Bytes("bb")}, {"C.MIP", Bytes("cc")}});
    PutU32(old, RecordStart(1) + kOffsetField, 1000);
    const fs::path archive = Archive(old);
    EXPECT_EQ(Failure([&] {
                  Remove(archive, {0, 1, 2, 1});
              }),
              "You cannot remove every file in the DAT file.");
    EXPECT_EQ(Failure([&] { Remove(archive, {3}); }), archive.string() + " has no entry 3.");
    const std::string outside =
        "Entry 1 (\"B.MIP\") has its data outside the file (offset 1000, size 2, file 89 "
        "bytes); rebuilding the DAT file would lose it, so nothing was changed.";
    EXPECT_EQ(Failure([&] { Remove(archive, {0}); }), outside);
    EXPECT_EQ(Failure([&] { Add(archive, {Source("a.mip", Bytes("new"))}); }), outside);

    // Changed since the caller read it, or while it is rewritten.
    const ArchiveDirectory seen = ReadArchiveDirectory(archive);
    auto changed = old;
    changed.push_back(0);
    WriteFile(archive, changed);
    const std::string stale = " has changed since it was opened. Nothing was changed; please open it again.";
    EXPECT_EQ(Failure([&] { RemoveEntries(archive, seen, std::vector<std::int32_t>{0}); }),
              archive.string() + stale);
    EXPECT_EQ(Failure([&] { RenameEntry(archive, seen, RecordStart(0) + kNameField, "Z.MIP"); }),
              archive.string() + stale);
    EXPECT_EQ(Failure([&] {
                  RemoveEntries(archive, ReadArchiveDirectory(archive), std::vector<std::int32_t>{1},
                                [&](std::int64_t done, std::int64_t total) {
                                    if (done == total) WriteFile(archive, old);
                                });
              }),
              archive.string() +
                  " was changed by another program while it was rewritten. Nothing was changed; "
                  "please open it again.");
    EXPECT_EQ(ReadBytes(archive), old);
    EXPECT_EQ(FolderNames(dir.path()), (std::set<std::string>{"T.DAT", "src"}));

    // The broken entry itself can go, and an append never needs its bytes.
    Remove(archive, {1});
    EXPECT_EQ(ReadBytes(archive), BuildArchive({{"A.MIP", Bytes("aa")}, {"C.MIP", Bytes("cc")}}));
    WriteFile(archive, old);
    EXPECT_FALSE(Add(archive, {Source("D.MIP", Bytes("d"))}).Repacked);
}

TEST_F(ArchiveEditTest, AnAppendThatWouldChangeWhatAnEntryReadsIsRefused) {
    // B.MIP's record is made to point elsewhere; the archive is 89 bytes, its data area from byte 83.
    const auto withB = [](std::uint32_t offset, std::uint32_t size) {
        auto bytes = BuildArchive({{"A.MIP", Bytes("aa")}, {"B.MIP", Bytes("bb")}, {"C.MIP", Bytes("cc")}});
        PutU32(bytes, RecordStart(1) + kSizeField, size);
        PutU32(bytes, RecordStart(1) + kOffsetField, offset);
        return bytes;
    };
    const fs::path big = Source("BIG.TXT", std::vector<std::uint8_t>(1000, 'x'));
    const fs::path small = Source("S.TXT", Bytes("s"));
    auto refusal = [](std::uint32_t offset, std::uint32_t size) {
        return "Entry 1 (\"B.MIP\") has its data outside the data area of the file (offset " +
               std::to_string(offset) + ", size " + std::to_string(size) +
               "; the data area runs from byte 83 to byte 89); adding files would change what it holds, so "
               "nothing was changed.";
    };
    // Past the end, where the new file's bytes would come; moved past 2^32 to the start; in the directory.
    for (const auto& [offset, size, file] :
         {std::tuple{1000u, 2u, big}, {0xFFFFFFF0u, 2u, small}, {20u, 4u, small}}) {
        const auto old = withB(offset, size);
        const fs::path archive = Archive(old), added = file; // a lambda captures no binding in clang 14
        EXPECT_EQ(Failure([&] { Add(archive, {added}); }), refusal(offset, size));
        EXPECT_EQ(ReadBytes(archive), old);
    }
    // Outside the file and still outside afterwards, or empty: appended.
    for (const auto& [offset, size] : {std::pair{1000u, 2u}, {83u, 0x80000000u}, {0u, 0u}}) {
        const fs::path archive = Archive(withB(offset, size));
        EXPECT_FALSE(Add(archive, {small}).Repacked);
        EXPECT_EQ(LoadArchive(archive).EntryInsideFile(1), size == 0);
    }
}

TEST_F(ArchiveEditTest, RefusesLimitsAndWritesNothing) {
    std::vector<TestEntry> full;
    for (int i = 0; i < 32767; ++i)
        full.push_back({"E" + std::to_string(i) + ".TXT", {}});
    const fs::path archive = Archive(BuildArchive(full));
    EXPECT_EQ(Failure([&] { Add(archive, {Source("NEW.TXT", Bytes("n"))}); }),
              "The DAT file would hold 32768 entries; a DAT file holds at most 32767. Nothing was written.");

    const fs::path small = Archive(BuildArchive({{"A.TXT", Bytes("a")}}), "S.DAT");
    const fs::path big = Source("BIG.BIN", {});
    fs::resize_file(big, (1ull << 31) - 30 - 27); // sparse; with the archive and its record 2 GiB
    EXPECT_EQ(Failure([&] { Add(small, {big}); }),
              "The DAT file would be 2147483648 bytes long; a DAT file cannot grow to 2 GiB or more. "
              "Nothing was written.");
    EXPECT_EQ(ReadBytes(small), BuildArchive({{"A.TXT", Bytes("a")}}));
    EXPECT_EQ(FolderNames(dir.path()), (std::set<std::string>{"S.DAT", "T.DAT", "src"}));
}

TEST_F(ArchiveEditTest, RenameWritesThirteenBytesInPlace) {
    const auto old = BuildArchive({{"ABC.MIP", DataOfType("MIP")}, {"DEF.SRB", DataOfType("SRB")}});
    const fs::path archive = Archive(old);
    SetAttributes(archive, kReadOnly);
    RenameEntry(archive, ReadArchiveDirectory(archive), RecordStart(1) + kNameField, "NEWNAME1.PBF");
    auto expected = old;
    std::copy_n("NEWNAME1.PBF", 13, expected.begin() + RecordStart(1) + kNameField);
    EXPECT_EQ(ReadBytes(archive), expected);
    EXPECT_EQ(Attributes(archive), 0);
    RenameEntry(archive, ReadArchiveDirectory(archive), RecordStart(1) + kNameField,
                "x.lp"); // clears the rest
    std::copy_n("x.lp\0\0\0\0\0\0\0\0\0", 13, expected.begin() + RecordStart(1) + kNameField);
    EXPECT_EQ(ReadBytes(archive), expected);

    const ArchiveDirectory seen = ReadArchiveDirectory(archive);
    for (const std::int64_t offset :
         {RecordStart(2) + kNameField, RecordStart(0) + kNameField + 1, std::int64_t{0}})
        EXPECT_EQ(Failure([&] { RenameEntry(archive, seen, offset, "A.MIP"); }),
                  "Offset " + std::to_string(offset) + " is not the name field of an entry of " +
                      archive.string() + ".");
    EXPECT_EQ(ReadBytes(archive), expected);
}

TEST_F(ArchiveEditTest, KeepsPermissionsMadeWritableFollowsLinksAndClearsStaleFiles) {
    const fs::path archive = Archive(BuildArchive({{"A.TXT", Bytes("a")}, {"B.TXT", Bytes("b")}}));
    fs::permissions(archive, fs::perms::owner_read | fs::perms::group_read);
    fs::create_symlink(archive, dir / "LINK.DAT");
    // Temporary files of killed runs go; those of a living process, or still locked, stay. A process id
    // above any the system hands out belongs to no process.
    const std::string dead = std::string(kTemporaryPrefix) + "2147483600-0.tmp";
    const std::string living = std::string(kTemporaryPrefix) + std::to_string(::getppid()) + "-0.tmp";
    const std::string locked = std::string(kTemporaryPrefix) + "2147483601-0.tmp";
    for (const auto& name : {dead, living, locked})
        WriteFile(dir / name, Bytes("partial"));
    const int lockFd = ::open((dir / locked).c_str(), O_RDONLY);
    ASSERT_EQ(::flock(lockFd, LOCK_EX), 0);

    Add(dir / "LINK.DAT", {Source("C.TXT", Bytes("c"))});
    EXPECT_TRUE(fs::is_symlink(dir / "LINK.DAT"));
    EXPECT_EQ(ReadBytes(archive).size(), 2u + 81 + 3);
    EXPECT_EQ(fs::status(archive).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(FolderNames(dir.path()), (std::set<std::string>{"LINK.DAT", "T.DAT", "src", living, locked}));
    ::close(lockFd);
}
