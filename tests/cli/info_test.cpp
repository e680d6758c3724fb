#include "archive_builder.h"
#include "picture_builder.h"
#include "run_cli.h"
#include "temp_folder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace kelvot;
using namespace kelvot::testkit;
namespace fs = std::filesystem;

class CliInfoTest : public ::testing::Test {
  protected:
    void SetUp() override {
        PictureSpec mip;
        mip.Kind = PictureKind::Mip;
        mip.FormatCode = 3;
        mip.Width = 128;
        mip.Height = 64;
        mip.Mapp = 1;
        mip.SubImages = 1;
        mip.Pixels.assign(128 * 64, 0xF800);
        PictureSpec pbf;
        pbf.Kind = PictureKind::Pbf;
        pbf.FormatCode = 0;
        pbf.Width = 10;
        pbf.Height = 2;
        pbf.Pixels.assign(20, 1);
        WriteFile(path, BuildArchive({{"WALL.MIP", EncodePicture(mip)},
                                      {"READ.ME", DataOfType("OTH", 1536)},
                                      {"ship.3do", DataOfType("3DO", 128)},
                                      {"FONT.PBF", EncodePicture(pbf)}}));
    }
    TempFolder dir;
    std::string path = (dir / "INFO.DAT").string();
};

TEST_F(CliInfoTest, PrintsThePanelsOfEachType) {
    auto r = RunCli({"info", path, "wall.mip"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "128 x 64 x 16 BPP\n4 / 4\n16.09 KB\nMIP\nType 3\nMapp 1\n0 Sub-images\n");
    r = RunCli({"info", path, "READ.ME"});
    EXPECT_EQ(r.out, "\n2 / 4\n1.5 KB\n.ME\n\n\n\n");
    r = RunCli({"info", path, "SHIP.3DO", "--filter", "3do"});
    EXPECT_EQ(r.out, "\n1 / 1\n0.12 KB\n3DO\n\n\n\n");
    r = RunCli({"info", path, "FONT.PBF", "--filter", "images"});
    EXPECT_EQ(r.out, "10 x 2 x 4 BPP\n1 / 2\n0.14 KB\nPBF\nType 0\n\n\n");
}

TEST_F(CliInfoTest, PrintsJson) {
    auto r = RunCli({"info", path, "WALL.MIP", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto json = nlohmann::json::parse(r.out);
    EXPECT_EQ(json["panels"][0], "128 x 64 x 16 BPP");
    EXPECT_EQ(json["type"], "MIP");
    EXPECT_EQ(json["formatCode"], 3);
    EXPECT_EQ(json["width"], 128);
    EXPECT_EQ(json["height"], 64);
    json = nlohmann::json::parse(RunCli({"info", path, "READ.ME", "--json"}).out);
    EXPECT_TRUE(json["formatCode"].is_null());
    EXPECT_TRUE(json["width"].is_null());
    EXPECT_EQ(json["type"], "OTH");
}

TEST_F(CliInfoTest, RefusesNamesItCannotShow) {
    auto r = RunCli({"info", path, "NONE.MIP"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "kelvot-cli: No entry is named NONE.MIP.\n");
    r = RunCli({"info", path, "READ.ME", "--filter", "images"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "kelvot-cli: READ.ME is not listed under the filter images.\n");
}
