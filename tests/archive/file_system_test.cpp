#include "archive/error.h"
#include "archive/file_system.h"
#include "archive_builder.h"
#include "temp_folder.h"

#include <gtest/gtest.h>
#include <unistd.h>

using namespace kelvot;
namespace fs = std::filesystem;

class FileSystemTest : public ::testing::Test {
  protected:
    testkit::TempFolder dir;
};

TEST_F(FileSystemTest, ExistenceAndHiddenArchives) {
    testkit::WriteFile(dir / "A.DAT", {1, 2});
    testkit::WriteFile(dir / ".HIDDEN.DAT", {1, 2});
    EXPECT_TRUE(FileExists(dir / "A.DAT"));
    EXPECT_TRUE(ArchiveFileExists(dir / "A.DAT"));
    EXPECT_TRUE(FileExists(dir / ".HIDDEN.DAT"));
    EXPECT_FALSE(ArchiveFileExists(dir / ".HIDDEN.DAT"));
    EXPECT_FALSE(FileExists(dir.path()));
    EXPECT_FALSE(ArchiveFileExists(dir / "NONE.DAT"));
}

TEST_F(FileSystemTest, ReadOnlyIsClearedBeforeReplacing) {
    testkit::WriteFile(dir / "A.DAT", {1});
    testkit::WriteFile(dir / ".B.DAT", {1});
    SetAttributes(dir / "A.DAT", kReadOnly);
    SetAttributes(dir / ".B.DAT", kReadOnly);
    EXPECT_EQ(Attributes(dir / "A.DAT"), kReadOnly);
    EXPECT_EQ(Attributes(dir / ".B.DAT"), kReadOnly | kHidden);
    ClearReadOnlyAttributes(dir / "A.DAT");
    ClearReadOnlyAttributes(dir / ".B.DAT");
    EXPECT_EQ(Attributes(dir / "A.DAT"), 0);
    EXPECT_EQ(Attributes(dir / ".B.DAT"), kHidden);
    EXPECT_THROW(Attributes(dir / "NONE"), KelvotError);
}

TEST_F(FileSystemTest, ReadsWholeFilesAndReportsWhyNot) {
    testkit::WriteFile(dir / "A.DAT", {1, 2, 3});
    EXPECT_EQ(ReadWholeFile(dir / "A.DAT"), (std::vector<std::uint8_t>{1, 2, 3}));
    testkit::WriteFile(dir / "EMPTY", {});
    EXPECT_TRUE(ReadWholeFile(dir / "EMPTY").empty());
    if (::geteuid() != 0) { // root reads anything
        fs::permissions(dir / "A.DAT", fs::perms::none);
        EXPECT_THROW(ReadWholeFile(dir / "A.DAT"), KelvotError);
    }
    try {
        ReadWholeFile(dir.path());
        FAIL();
    } catch (const KelvotError& e) {
        EXPECT_EQ(e.number(), EISDIR);
    }
}
