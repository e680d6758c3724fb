// Undo of each kind of edit gives back the old archive byte for byte, and its mode; an archive changed
// since is refused and kept as it is.

#include "archive/temporary_files.h"
#include "archive_builder.h"
#include "edit_support.h"
#include "editing/picture_import.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace kelvot;
using namespace kelvot::testkit;
namespace fs = std::filesystem;

namespace {

struct UndoTest : ::testing::Test {
    // T.DAT, read-only, of a picture and a text; N.TXT and P.png beside it.
    fs::path Archive() {
        fs::remove(dir / "T.DAT");
        WriteFile(dir / "T.DAT", BuildArchive({{"WALL.MIP", Picture(PictureKind::Mip, 0, 6, 4, 1)},
                                               {"NOTE.TXT", Bytes("note")}}));
        WriteFile(dir / "N.TXT", Bytes("new"));
        WriteFile(dir / "P.png", Png(PictureKind::Mip, Picture(PictureKind::Mip, 3, 6, 4, 2)));
        fs::permissions(dir / "T.DAT", fs::perms::owner_read | fs::perms::group_read);
        return dir / "T.DAT";
    }
    bool Kept() const {
        return std::ranges::any_of(FilesUnder(dir.path()), [](const auto& file) {
            return file.first.string().starts_with(kUndoPrefix);
        });
    }
    TempFolder dir;
};

using Edit = std::function<void(const fs::path& archive, UndoStep& undo)>;

template <typename Call> Edit Under(Call call) {
    return [call](const fs::path& archive, UndoStep& undo) {
        Edited(archive, [&](auto& lock, auto& seen) {
            call(lock, seen, undo);
            return 0;
        });
    };
}

} // namespace

TEST_F(UndoTest, EachEditIsTakenBackByteForByte) {
    const std::tuple<const char*, Edit, UndoKind> rows[] = {
        {"add", Under([&](auto& l, auto& d, UndoStep& u) {
             AddFiles(l, d, SelectAddCandidates(std::vector{dir / "N.TXT"}).Packable, {}, &u);
         }),
         UndoKind::Replaced},
        {"remove", Under([](auto& l, auto& d, UndoStep& u) { RemoveEntries(l, d, std::vector{0}, {}, &u); }),
         UndoKind::Replaced},
        {"rename", Under([](auto& l, auto& d, UndoStep& u) {
             RenameEntry(l, d, RecordStart(1) + kNameField, "Z.MIP", &u);
         }),
         UndoKind::Renamed},
        {"import",
         Under([&](auto& l, auto& d, UndoStep& u) { ImportPicture(l, d, 0, dir / "P.png", 9, {}, &u); }),
         UndoKind::Replaced},
        {"replace",
         Under([&](auto& l, auto& d, UndoStep& u) { ReplaceEntry(l, d, 1, dir / "N.TXT", {}, &u); }),
         UndoKind::Replaced},
        {"create over", [&](auto&, UndoStep& u) { CreateArchive(dir.path(), "T.DAT", {}, &u); },
         UndoKind::Replaced},
        {"create new", [&](auto&, UndoStep& u) { CreateArchive(dir.path(), "NEW.DAT", {}, &u); },
         UndoKind::Created},
    };
    for (const auto& [name, edit, kind] : rows) {
        SCOPED_TRACE(name);
        const fs::path archive = Archive();
        const auto before = ReadFile(archive);
        UndoStep undo;
        edit(archive, undo);
        ASSERT_TRUE(undo.kind() == kind && undo.Offered());
        EXPECT_EQ(Kept(), kind == UndoKind::Replaced);
        EXPECT_NE(ReadFile(undo.target()), before);
        EXPECT_EQ(undo.Apply(), kind == UndoKind::Renamed ? "NOTE.TXT" : "");
        EXPECT_EQ(ReadFile(archive), before);
        EXPECT_EQ(fs::status(archive).permissions(), fs::perms::owner_read | fs::perms::group_read);
        EXPECT_TRUE(undo.kind() == UndoKind::None && !Kept() && !fs::exists(dir / "NEW.DAT"));
    }
}

// Changed in place, replaced by a copy or removed behind the step's back: refused, the archive left as it
// is and the kept file gone.
TEST_F(UndoTest, AChangedArchiveIsRefusedAndKeptAsItIs) {
    const Edit remove =
        Under([](auto& l, auto& d, UndoStep& u) { RemoveEntries(l, d, std::vector{1}, {}, &u); });
    const auto bytes = [](const fs::path& a) { return fs::exists(a) ? ReadFile(a) : Bytes(""); };
    const std::function<void(const fs::path&)> changes[] = {
        [](const fs::path& a) { WriteFile(a, Bytes("other")); },
        [](const fs::path& a) {
            fs::copy_file(a, a.string() + "2");
            fs::rename(a.string() + "2", a);
        },
        [](const fs::path& a) { fs::remove(a); },
    };
    for (const auto& change : changes) {
        UndoStep undo;
        remove(Archive(), undo);
        change(dir / "T.DAT");
        const auto changed = bytes(dir / "T.DAT");
        EXPECT_FALSE(undo.Offered());
        EXPECT_NE(Failure([&] { undo.Apply(); }).find("has changed since Kelvot"), std::string::npos);
        EXPECT_TRUE(bytes(dir / "T.DAT") == changed && !Kept());
    }
}
