#include "archive/dat_format.h"
#include "archive_builder.h"
#include "run_cli.h"
#include "temp_folder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace kelvot;
using namespace kelvot::testkit;
namespace fs = std::filesystem;

class CliTest : public ::testing::Test {
  protected:
    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        WriteFile(dir / name, bytes);
        return (dir / name).string();
    }
    TempFolder dir;
};

TEST_F(CliTest, ListsInTheWindowsOrderUnderAFilter) {
    const auto path = Write("A.DAT", BuildArchive({{"zeta.mip", DataOfType("MIP")},
                                                   {"Beta.SRB", DataOfType("SRB")},
                                                   {"ship.3do", DataOfType("3DO")},
                                                   {"\xC9t\xE9.txt", DataOfType("OTH")}}));
    auto r = RunCli({"list", path});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Beta.SRB\nship.3do\nzeta.mip\n\xC3\x89t\xC3\xA9.txt\n");
    r = RunCli({"list", path, "--filter", "images"});
    EXPECT_EQ(r.out, "Beta.SRB\nzeta.mip\n");
    r = RunCli({"list", path, "--filter", "3DO"});
    EXPECT_EQ(r.out, "ship.3do\n");
}

TEST_F(CliTest, ListsJsonWithSignedFields) {
    auto bytes = BuildArchive({{"B.OTH", DataOfType("OTH", 4)}, {"A.MIP", DataOfType("MIP", 8)}});
    PutU32(bytes, RecordStart(0) + kSizeField, 0xFFFFFFFEu);
    const auto r = RunCli({"list", Write("J.DAT", bytes), "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto json = nlohmann::json::parse(r.out);
    ASSERT_EQ(json.size(), 2u);
    EXPECT_EQ(json[0], (nlohmann::json{{"index", 1},
                                       {"name", "A.MIP"},
                                       {"type", "MIP"},
                                       {"size", 8},
                                       {"offset", 60},
                                       {"nameFieldOffset", 39}}));
    EXPECT_EQ(json[1]["size"], -2);
}

TEST_F(CliTest, VerifiesAndReportsProblems) {
    const auto good = Write("G.DAT", BuildArchive({{"A.MIP", DataOfType("MIP")}}));
    auto r = RunCli({"verify", good});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "OK\n");

    auto bytes = BuildArchive({{"A.MIP", DataOfType("MIP")}, {"B.MIP", DataOfType("MIP")}});
    PutNameField(bytes, 1, {'.', '.'});
    PutU32(bytes, RecordStart(0) + kOffsetField, 0x7FFFFFFF);
    const auto bad = Write("B.DAT", bytes);
    r = RunCli({"verify", bad});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out,
              "entry 0 (\"A.MIP\"): its data (offset 2147483647, size 16) lies outside the file (88 bytes)\n"
              "entry 1 (\"..\"): the name cannot be used as a file name\n");
    r = RunCli({"verify", bad, "--json"});
    EXPECT_EQ(r.status, 1);
    const auto json = nlohmann::json::parse(r.out);
    EXPECT_EQ(json["ok"], false);
    EXPECT_EQ(json["problems"].size(), 2u);

    r = RunCli({"verify", Write("Z.DAT", {0, 0})});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "the entry count is 0; an archive holds 1 to 32767 entries\n");
}

TEST_F(CliTest, FailuresAndUsage) {
    auto r = RunCli({"list", (dir / "NONE.DAT").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "kelvot-cli: Cannot open " + (dir / "NONE.DAT").string() + ": No such file or directory\n");
    r = RunCli({"list", Write("E.DAT", {})});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "kelvot-cli: The file is empty.\n");
    EXPECT_EQ(RunCli({"list"}).status, 2);
    EXPECT_EQ(RunCli({"frobnicate"}).status, 2);
    EXPECT_EQ(RunCli({"list", "x", "--filter", "oth"}).status, 2);
    r = RunCli({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "kelvot-cli 1.2.0\n");
    r = RunCli({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("verify"), std::string::npos);
}
