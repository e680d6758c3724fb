#include "archive/extract.h"
#include "archive/file_system.h"
#include "archive_builder.h"
#include "export/bmp_writer.h"
#include "export/picture_export.h"
#include "freeimage_reader.h"
#include "picture_builder.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <set>

using namespace kelvot;
using namespace kelvot::testkit;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Names = std::set<std::string>;

namespace {

Names In(const fs::path& folder) {
    Names names;
    for (const auto& e : fs::directory_iterator(folder))
        names.insert(e.path().filename().string());
    return names;
}

Bytes Picture(PictureKind kind, std::uint8_t code, std::int16_t w = 6, std::int16_t h = 4) {
    return EncodePicture(RandomPicture(kind, code, w, h, code + 7u * w));
}

} // namespace

TEST(PictureExport, BmpColourAndMaskFilesByFormatCode) {
    std::vector<TestEntry> entries = {{"SHIP.3DO", DataOfType("3DO")}, {"NOTE.TXT", DataOfType("OTH")}};
    for (const auto& [kind, prefix] :
         {std::pair{PictureKind::Mip, "M"}, {PictureKind::Srb, "S"}, {PictureKind::Pbf, "P"}})
        for (std::uint8_t code = 0; code <= 7; ++code)
            entries.push_back({prefix + std::to_string(code) + ".PIC", Picture(kind, code)});
    const ArchiveModel model = LoadArchive(BuildArchive(entries));
    TempFolder dest;
    const auto result = ExportAsBmp(model, AllEntries(model), dest.path());

    Names expected = {"M2_ti.bmp", "S2_ti.bmp", "M5_ti.bmp", "S5_ti.bmp", "P5_ti.bmp"};
    for (const char* prefix : {"M", "S", "P"})
        for (int code = 0; code <= 5; ++code)
            expected.insert(prefix + std::to_string(code) + ".bmp");
    EXPECT_EQ(In(dest.path()), expected);
    EXPECT_EQ(result.Written.size(), expected.size());
    ASSERT_EQ(result.Problems.size(), 6u); // codes 6 and 7; 3DO and OTH pass without a word
    EXPECT_EQ(result.Problems[0].Description, "\"M6.PIC\" (entry 8) was not exported: its format code 6 is "
                                              "not a picture format Kelvot can decode.");
    const EntryBytes s5 = model.EntryBytes(*model.FindEntry("S5.PIC"));
    EXPECT_EQ(ReadWholeFile(dest / "S5.bmp"), BmpFileBytes(*DecodePicture(PictureKind::Srb, s5)));
    EXPECT_EQ(ReadWholeFile(dest / "S5_ti.bmp"), BmpFileBytes(*DecodeExportMask(PictureKind::Srb, s5)));
}

TEST(PictureExport, StemsReplacementRefusalsAndTheEntriesOfAllPictures) {
    EXPECT_EQ(ExportStem("A.B.MIP"), "A.B");
    auto bytes =
        BuildArchive({{"DOOR.LP", Picture(PictureKind::Mip, 0)},
                      {"NOD", Picture(PictureKind::Mip, 3)}, // a name without a dot keeps three characters
                      {"A.MIP", Picture(PictureKind::Mip, 3, 2, 2)},
                      {"a.SRB", Picture(PictureKind::Srb, 3, 5, 5)},
                      {"X", Picture(PictureKind::Mip, 3)},
                      {"CUT.MIP", Picture(PictureKind::Mip, 3)},
                      {"A.mip", DataOfType("OTH")}});
    PutNameField(bytes, 4, {'.', '.', '/', 'G', 'A', 'M', 'E'}); // decodes to "../G"
    PutU32(bytes, RecordStart(5) + kSizeField, 40);              // the pixels cut off
    const ArchiveModel model = LoadArchive(bytes);
    EXPECT_EQ(PictureEntries(model),
              (std::vector<std::int32_t>{4, 2, 3, 5, 0, 1})); // list order, first of a name

    TempFolder dir;
    const fs::path out = dir / "out";
    fs::create_directory(out);
    WriteFile(out / "DOOR.bmp", {1});
    SetAttributes(out / "DOOR.bmp", kReadOnly);
    const auto result = ExportAsBmp(model, AllEntries(model), out);
    EXPECT_EQ(In(dir.path()), Names{"out"}); // nothing beside the chosen folder
    EXPECT_EQ(In(out), (Names{"DOOR.bmp", "NOD.bmp", "a.bmp"}));
    EXPECT_EQ(ReadWithFreeImage(ReadWholeFile(out / "DOOR.bmp")).Width, 6);
    EXPECT_EQ(ReadWithFreeImage(ReadWholeFile(out / "a.bmp")).Width, 5); // the later entry's picture
    ASSERT_EQ(result.Problems.size(), 2u);
    EXPECT_EQ(result.Problems[0].Description,
              "\"../G\" (entry 4) was not exported: its name cannot be used as a file name.");
    EXPECT_EQ(result.Problems[1].Description,
              "\"CUT.MIP\" (entry 5) was not exported: its picture does not fit in the entry's bytes.");
}

TEST(PictureExport, JpegFilesHoldTheDecodedPixelsAtTwentyFourBitsAndNothingElseIsWritten) {
    // Flat blocks survive JPEG well, so the file read back stays close to the decoded pixels.
    PictureSpec flat{.Kind = PictureKind::Mip, .FormatCode = 3, .Width = 48, .Height = 32, .Pixels = {}};
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x)
            flat.Pixels.push_back(y < 16 ? (x < 24 ? 0xF800 : 0x07E0) : (x < 24 ? 0x001F : 0xFFFF));
    const ArchiveModel model = LoadArchive(
        BuildArchive({{"FLAT.MIP", EncodePicture(flat)}, {"PAL.PBF", Picture(PictureKind::Pbf, 2, 9, 7)}}));
    TempFolder dest;
    WriteFile(dest / "FLATJPG.bmp", {1, 2, 3}); // a user's file, named like a temporary one
    EXPECT_TRUE(ExportAsJpeg(model, AllEntries(model), dest.path(), JpegQuality::Superb).Problems.empty());
    EXPECT_EQ(In(dest.path()), (Names{"FLAT.jpg", "PAL.jpg", "FLATJPG.bmp"}));
    EXPECT_EQ(ReadWholeFile(dest / "FLATJPG.bmp"), (Bytes{1, 2, 3}));

    const ReadBack back = ReadWithFreeImage(ReadWholeFile(dest / "FLAT.jpg"));
    EXPECT_EQ(back.Format, FIF_JPEG);
    EXPECT_EQ(back.Bits, 24u);
    const Bytes decoded = ToBgra32TopDown(*DecodePicture(PictureKind::Mip, model.EntryBytes(0)));
    ASSERT_EQ(back.Bgra.size(), decoded.size()); // 48 x 32
    for (std::size_t k = 0; k < decoded.size(); ++k)
        ASSERT_NEAR(back.Bgra[k], decoded[k], 24) << k; // not flipped
    const ReadBack pal = ReadWithFreeImage(ReadWholeFile(dest / "PAL.jpg"));
    EXPECT_EQ(std::make_tuple(pal.Bits, pal.Width, pal.Height),
              std::make_tuple(24u, 9, 7)); // 4-bit saved at 24
}

TEST(PictureExport, QualityWordsFlagsAndFileSizes) {
    EXPECT_EQ(StoredJpegQuality("aVERAGE"), JpegQuality::Average);
    EXPECT_EQ(StoredJpegQuality("Excellent"), JpegQuality::Superb); // none of the five counts as Superb
    EXPECT_EQ(ParseJpegQuality("Excellent"), std::nullopt);
    const std::tuple<int, const char*, const char*> rows[] = {{0x80, "Superb", "superb"},
                                                              {0x100, "Good", "good"},
                                                              {0x200, "Normal", "normal"},
                                                              {0x400, "Average", "average"},
                                                              {0x800, "Bad", "bad"}};
    const auto noise = DecodePicture(PictureKind::Srb, Picture(PictureKind::Srb, 3, 64, 64));
    std::size_t previous = SIZE_MAX;
    for (std::size_t k = 0; k < 5; ++k) {
        const JpegQuality q = kJpegQualities[k];
        EXPECT_EQ(std::make_tuple(JpegSaveFlag(q), JpegQualityWord(q), JpegQualityCliWord(q)), rows[k]);
        EXPECT_EQ(ParseJpegQuality(std::get<2>(rows[k])), q);
        EXPECT_LT(EncodeJpeg(*noise, q).size(), previous) << "each step down in quality gives a smaller file";
        previous = EncodeJpeg(*noise, q).size();
    }
}
