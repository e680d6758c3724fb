#include "archive/dat_format.h"
#include "archive/file_system.h"
#include "archive_builder.h"
#include "picture_builder.h"
#include "run_cli.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>

using namespace kelvot;
using namespace kelvot::testkit;
namespace fs = std::filesystem;
using Names = std::set<std::string>;

namespace {

Names In(const fs::path& folder) {
    Names names;
    for (const auto& e : fs::directory_iterator(folder))
        names.insert(e.path().filename().string());
    return names;
}

std::vector<std::uint8_t> Picture(PictureKind kind, std::uint8_t code, std::int16_t w = 21) {
    return EncodePicture(RandomPicture(kind, code, w, 5, code + 1u));
}

class ExtractExportCli : public ::testing::Test {
  protected:
    std::string Archive(const std::vector<std::uint8_t>& bytes) {
        WriteFile(dir / "A.DAT", bytes);
        return (dir / "A.DAT").string();
    }
    std::string At(const std::string& name) const { return (dir / name).string(); }
    TempFolder dir;
};

} // namespace

TEST_F(ExtractExportCli, ExtractsAllOrNamedEntriesAndListsWhatItLeftOut) {
    auto bytes = BuildArchive({{"A.MIP", {1, 2}}, {"B.TXT", {}}, {"a.mip", {3}}, {"X", {4}}});
    PutNameField(bytes, 3, {'.', '.'});
    const auto archive = Archive(bytes);
    auto r = RunCli({"extract", archive, At("new/deeper")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "kelvot-cli: \"..\" (entry 3) was not extracted: its name cannot be used as a file name.\n");
    EXPECT_EQ(In(dir / "new/deeper"), (Names{"a.mip", "B.TXT"}));
    EXPECT_TRUE(ReadWholeFile(dir / "new/deeper/B.TXT").empty());

    r = RunCli({"extract", archive, At("sel"), "A.Mip"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadWholeFile(dir / "sel/A.MIP"), (std::vector<std::uint8_t>{1, 2}));
    r = RunCli({"extract", archive, At("none"), "A.MIP", "NONE"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "kelvot-cli: No entry is named \"NONE\".\n");
    EXPECT_FALSE(fs::exists(dir / "none")); // nothing written, not even the folder
    EXPECT_EQ(RunCli({"extract", archive}).status, 2);
}

TEST_F(ExtractExportCli, ExportsBmpAndJpegFilesAndChecksItsOptions) {
    const auto archive = Archive(BuildArchive({{"SKY.MIP", Picture(PictureKind::Mip, 2)},
                                               {"FONT.PBF", Picture(PictureKind::Pbf, 5)},
                                               {"ODD.SRB", Picture(PictureKind::Srb, 6)},
                                               {"SHIP.3DO", DataOfType("3DO")}}));
    auto r = RunCli({"export", archive, At("bmp"), "--format", "bmp"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "kelvot-cli: \"ODD.SRB\" (entry 2) was not exported: its format code 6 is not a picture format "
              "Kelvot can decode.\n");
    EXPECT_EQ(In(dir / "bmp"), (Names{"SKY.bmp", "SKY_ti.bmp", "FONT.bmp", "FONT_ti.bmp"}));
    r = RunCli(
        {"export", archive, At("jpg"), "--format", "JPG", "--quality", "Average", "font.pbf", "SHIP.3DO"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(In(dir / "jpg"), Names{"FONT.jpg"});

    for (const auto& usage :
         std::vector<std::vector<std::string>>{{},
                                               {"--format", "png"},
                                               {"--format", "jpg", "--quality", "great"},
                                               {"--format", "bmp", "--quality", "good"}}) {
        std::vector<std::string> args{"export", archive, At("x")};
        args.insert(args.end(), usage.begin(), usage.end());
        EXPECT_EQ(RunCli(args).status, 2) << args.size();
    }
    EXPECT_FALSE(fs::exists(dir / "x"));
}

// ImageMagick, independent of our writer and of FreeImage, opens every file with the right size; it
// rejects a BMP whose bfSize is not the file's length.
TEST_F(ExtractExportCli, ImageMagickOpensEveryExportedFile) {
    if (std::system("identify -version > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "ImageMagick is not installed";
    std::vector<TestEntry> entries;
    for (const auto kind : {PictureKind::Mip, PictureKind::Srb, PictureKind::Pbf})
        for (std::uint8_t code = 0; code <= 5; ++code)
            entries.push_back(
                {std::to_string(int(kind)) + std::to_string(code) + ".PIC", Picture(kind, code, 7 + code)});
    const auto archive = Archive(BuildArchive(entries));
    ASSERT_EQ(RunCli({"export", archive, At("out"), "--format", "bmp"}).status, 0);
    ASSERT_EQ(RunCli({"export", archive, At("out"), "--format", "jpg"}).status, 0);
    const Names files = In(dir / "out");
    EXPECT_EQ(files.size(), 18u + 5u + 18u); // colour files, mask files, JPEG files
    for (const std::string& name : files) {
        FILE* pipe = ::popen(
            ("identify -regard-warnings -format '%m %w %h' '" + At("out/" + name) + "' 2>&1").c_str(), "r");
        char line[512] = {};
        const std::string out = std::fgets(line, sizeof line, pipe) ? line : "";
        EXPECT_EQ(::pclose(pipe), 0) << name << ": " << out;
        EXPECT_EQ(out,
                  (name.ends_with(".jpg") ? "JPEG " : "BMP3 ") + std::to_string(7 + name[1] - '0') + " 5")
            << name;
    }
}
