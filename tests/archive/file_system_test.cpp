#include "archive/error.h"
#include "archive/file_system.h"
#include "archive_builder.h"
#include "temp_folder.h"

#include <gtest/gtest.h>
#include <unistd.h>

using namespace kelvot;
using namespace kelvot::testkit;
namespace fs = std::filesystem;

TEST(FileSystem, HiddenReadOnlyAndUnreadableFiles) {
    TempFolder dir;
    WriteFile(dir / "A.DAT", {1, 2, 3});
    WriteFile(dir / ".B.DAT", {});
    EXPECT_TRUE(ArchiveFileExists(dir / "A.DAT"));
    EXPECT_TRUE(FileExists(dir / ".B.DAT"));
    EXPECT_FALSE(ArchiveFileExists(dir / ".B.DAT")); // the open-by-path command passes hidden files over
    EXPECT_FALSE(ArchiveFileExists(dir.path()));
    EXPECT_FALSE(ArchiveFileExists(dir / "NONE.DAT"));
    SetAttributes(dir / ".B.DAT", kReadOnly);
    EXPECT_EQ(Attributes(dir / ".B.DAT"), kReadOnly | kHidden);
    ClearReadOnlyAttributes(dir / ".B.DAT");
    EXPECT_EQ(Attributes(dir / ".B.DAT"), kHidden);
    EXPECT_THROW(Attributes(dir / "NONE"), KelvotError);

    EXPECT_EQ(ReadWholeFile(dir / "A.DAT"), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_TRUE(ReadWholeFile(dir / ".B.DAT").empty());
    try {
        ReadWholeFile(dir.path());
        FAIL();
    } catch (const KelvotError& e) {
        EXPECT_EQ(e.number(), EISDIR);
    }
    if (::geteuid() != 0) { // root reads anything
        fs::permissions(dir / "A.DAT", fs::perms::none);
        EXPECT_THROW(ReadWholeFile(dir / "A.DAT"), KelvotError);
    }
}
