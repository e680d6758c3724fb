// Files read back by FreeImage, a reader independent of our writers (fuzz/bmp_fuzz checks every BMP byte);
// which files each entry gives, the refusals, and PNG files stored back into entries.

#include "archive/extract.h"
#include "archive/file_system.h"
#include "archive_builder.h"
#include "export/bmp_writer.h"
#include "export/picture_export.h"
#include "export/picture_file.h"
#include "export/png_export.h"
#include "images/picture_encoders.h"
#include "loaded_archive.h"
#include "picture_builder.h"
#include "temp_folder.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <set>

using namespace kelvot;
using namespace kelvot::testkit;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Names = std::set<std::string>;

namespace {

struct ReadBack {
    FREE_IMAGE_FORMAT Format = FIF_UNKNOWN;
    unsigned Bits = 0; // per pixel, as stored in the file
    int Width = 0, Height = 0;
    Bytes Bgra; // blue, green, red, 255; top row first
};

ReadBack ReadWithFreeImage(const Bytes& file) {
    ReadBack r;
    FIMEMORY* memory = FreeImage_OpenMemory(const_cast<BYTE*>(file.data()), static_cast<DWORD>(file.size()));
    r.Format = FreeImage_GetFileTypeFromMemory(memory);
    if (FIBITMAP* dib = r.Format == FIF_UNKNOWN ? nullptr : FreeImage_LoadFromMemory(r.Format, memory)) {
        r.Bits = FreeImage_GetBPP(dib);
        r.Width = int(FreeImage_GetWidth(dib)), r.Height = int(FreeImage_GetHeight(dib));
        FIBITMAP* rgba = FreeImage_ConvertTo32Bits(dib);
        for (int y = r.Height - 1; y >= 0; --y) // scan line 0 is the bottom row
            for (const BYTE* px = FreeImage_GetScanLine(rgba, y);
                 px < FreeImage_GetScanLine(rgba, y) + 4 * r.Width; px += 4)
                r.Bgra.insert(r.Bgra.end(), {px[FI_RGBA_BLUE], px[FI_RGBA_GREEN], px[FI_RGBA_RED], 255});
        FreeImage_Unload(rgba);
        FreeImage_Unload(dib);
    }
    FreeImage_CloseMemory(memory);
    return r;
}

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

// Every file holds the decoded picture, or the preview's mask, at the depth of its state.
TEST(PictureExport, BmpFilesByFormatCodeAndNameWithRefusalsInEntryOrder) {
    std::vector<TestEntry> entries = {{"SHIP.3DO", DataOfType("3DO")},
                                      {"NOTE.TXT", DataOfType("OTH")},
                                      {"NOD", Picture(PictureKind::Mip, 3)}, // no dot: the whole name
                                      {"A.MIP", Picture(PictureKind::Mip, 3, 2, 2)},
                                      {"a.SRB", Picture(PictureKind::Srb, 0, 5, 5)},
                                      {"A.mip", DataOfType("OTH")},
                                      {"X", Picture(PictureKind::Mip, 3)},
                                      {"CUT.MIP", Picture(PictureKind::Mip, 3)}};
    const std::string prefixes[] = {"M", "S", "P"}; // in the order of PictureKind
    for (int k = 0; k < 3; ++k)
        for (std::uint8_t code = 0; code <= 7; ++code)
            entries.push_back(
                {prefixes[k] + std::to_string(code) + ".PIC", Picture(PictureKind(k), code, 7, 3)});
    auto bytes = BuildArchive(entries);
    PutNameField(bytes, 6, {'.', '.', '/', 'G', 'A', 'M', 'E'}); // decodes to "../G"
    PutU32(bytes, RecordStart(7) + kSizeField, 40);              // the pixels cut off
    const LoadedArchive archive(bytes);
    const ArchiveModel& model = archive.model();
    EXPECT_EQ(ExportStem("A.B.LP"), "A.B");
    // The list order of "All image files", the first entry of each name once (8-15 are M*, 16-23 S*).
    const std::vector<std::int32_t> all = {6,  3,  4,  7,  8,  9,  10, 11, 12, 13, 14, 15, 2,  24, 25,
                                           26, 27, 28, 29, 30, 31, 16, 17, 18, 19, 20, 21, 22, 23};
    EXPECT_EQ(PictureEntries(model), all);

    TempFolder dir;
    const fs::path out = dir / "out";
    fs::create_directory(out);
    WriteFile(out / "M0.bmp", {1}); // replaced all the same
    SetAttributes(out / "M0.bmp", kReadOnly);
    const auto result = ExportPictures(model, archive.file(), AllEntries(model), out, {});
    EXPECT_EQ(In(dir.path()), Names{"out"}); // nothing beside the chosen folder
    Names expected = {"NOD.bmp", "a.bmp"};
    for (int k = 0; k < 3; ++k)
        for (int code = 0; code <= 5; ++code)
            for (const bool mask : {false, code == 5 || (code == 2 && k != 2)}) {
                const std::string file = prefixes[k] + std::to_string(code) + (mask ? "_ti.bmp" : ".bmp");
                const Bytes entry = archive.Entry(*model.FindEntry(file.substr(0, 2) + ".PIC"));
                const auto image = (mask ? DecodeMask : DecodePicture)(PictureKind(k), entry, 1).value();
                const ReadBack back = ReadWithFreeImage(ReadFile(out / file));
                EXPECT_EQ(std::tie(back.Format, back.Bits, back.Width, back.Height, back.Bgra),
                          std::make_tuple(FIF_BMP, unsigned(image.BitCount), 7, 3, ToBgra32TopDown(image)))
                    << file;
                expected.insert(file);
            }
    EXPECT_EQ(In(out), expected);
    EXPECT_EQ(ReadWithFreeImage(ReadFile(out / "a.bmp")).Width, 5); // the later entry of the name
    // The name, the cut picture, codes 6 and 7 of each kind (kelvot-cli's tests show that message); 3DO and
    // OTH entries pass without a word.
    ASSERT_EQ(result.Problems.size(), 8u);
    EXPECT_EQ(result.Written.size(), expected.size() + 1); // A.bmp, then a.bmp in its place
    EXPECT_EQ(result.Problems[0].Description,
              "\"../G\" (entry 6) was not exported: its name cannot be used as a file name.");
    EXPECT_EQ(result.Problems[1].Description,
              "\"CUT.MIP\" (entry 7) was not exported: its picture does not fit in the entry's bytes.");
}

TEST(PictureExport, JpegFilesHoldTheDecodedPixelsAtTwentyFourBitsAndNothingElseIsWritten) {
    // Flat blocks survive JPEG well, so the file read back stays close to the decoded pixels.
    PictureSpec flat{.Kind = PictureKind::Mip, .FormatCode = 3, .Width = 48, .Height = 32, .Pixels = {}};
    flat.Pixels.assign(48 * 32, 0xF800);
    std::fill_n(flat.Pixels.begin(), 48 * 16, 0x07E0); // the top half green
    const LoadedArchive archive(
        BuildArchive({{"FLAT.MIP", EncodePicture(flat)}, {"PAL.PBF", Picture(PictureKind::Pbf, 2, 9, 7)}}));
    const ArchiveModel& model = archive.model();
    TempFolder dest;
    WriteFile(dest / "FLATJPG.bmp", {1, 2, 3}); // a user's file, named like a temporary one
    EXPECT_TRUE(ExportPictures(model, archive.file(), AllEntries(model), dest.path(), {ExportFormat::Jpeg})
                    .Problems.empty());
    EXPECT_EQ(In(dest.path()), (Names{"FLAT.jpg", "PAL.jpg", "FLATJPG.bmp"}));
    EXPECT_EQ(ReadFile(dest / "FLATJPG.bmp"), (Bytes{1, 2, 3}));

    const ReadBack back = ReadWithFreeImage(ReadFile(dest / "FLAT.jpg"));
    EXPECT_EQ(std::tie(back.Format, back.Bits), std::make_tuple(FIF_JPEG, 24u));
    const Bytes decoded = ToBgra32TopDown(*DecodePicture(PictureKind::Mip, archive.Entry(0)));
    ASSERT_EQ(back.Bgra.size(), decoded.size()); // 48 x 32
    for (std::size_t k = 0; k < decoded.size(); ++k)
        ASSERT_NEAR(back.Bgra[k], decoded[k], 24) << k;                 // not flipped
    EXPECT_EQ(ReadWithFreeImage(ReadFile(dest / "PAL.jpg")).Bits, 24u); // 4-bit saved at 24
}

// The words kept in the settings and typed on the command line, and the flag each gives FreeImage.
TEST(PictureExport, QualityWordsAndTheirFreeImageFlags) {
    std::string words;
    for (const JpegQuality q : kJpegQualities)
        words += std::string(JpegQualityWord(q)) + " " + std::string(JpegQualityCliWord(q)) + " " +
                 std::to_string(JpegSaveFlag(q)) + " ";
    EXPECT_EQ(words, "Superb superb 128 Good good 256 Normal normal 512 Average average 1024 Bad bad 2048 ");
    EXPECT_EQ(StoredJpegQuality("Excellent"), JpegQuality::Superb); // a damaged setting still exports
}

// Every kind and code out as PNG, indexed (codes 0-2) or 32-bit, and stored into an entry of other pixels and
// colours: exactly the entry the test builder wrote, a second encoder independent of ours.
TEST(PicturePng, EveryKindAndCodeGoesOutAndComesBackExactly) {
    const unsigned bits[] = {4, 8, 8, 24, 32, 32}; // FreeImage reads 4 bits with alpha as 8; code 3 has none
    for (int k = 0; k < 3; ++k)
        for (std::uint8_t code = 0; code <= 5; ++code)
            for (int layoutB = 0; layoutB <= (k < 2 && code < 3); ++layoutB) {
                SCOPED_TRACE(testing::Message() << k << " code " << int(code) << " layout B " << layoutB);
                const auto kind = PictureKind(k);
                PictureSpec spec = RandomPicture(kind, code, 7, 5, code + 3u),
                            other = RandomPicture(kind, code, 7, 5, 99);
                spec.LayoutB = other.LayoutB = layoutB;
                for (std::size_t c = 3; c < 64; c += 4) // code 0 keeps the entry's own fourth bytes
                    other.Colours[c] = spec.Colours[c];
                const Bytes entry = EncodePicture(spec);
                const auto picture = DecodePicture(kind, entry);
                const Bytes png = EncodePng(kind, entry, *picture);
                const ReadBack back = ReadWithFreeImage(png);
                EXPECT_EQ(std::tie(back.Format, back.Bits, back.Width, back.Height, back.Bgra),
                          std::make_tuple(FIF_PNG, bits[code], 7, 5, ToBgra32TopDown(*picture)));
                const auto stored = StorePicture(kind, EncodePicture(other), ReadPictureFile(png).value());
                EXPECT_EQ(stored.value().Entry, entry);
            }
}

// The stored value is the one whose decoded form is nearest, at the edges of each channel.
TEST(PicturePng, SixteenBitChannelsTakeTheNearestValue) {
    const std::tuple<std::uint8_t, std::array<std::uint8_t, 4>, std::uint16_t> rows[] = {
        {3, {3, 1, 252, 0}, 0x001F},   {3, {4, 2, 255, 0}, 0x083F},   {3, {255, 255, 0, 0}, 0xFFE0},
        {4, {10, 11, 7, 127}, 0x0020}, {4, {255, 0, 0, 128}, 0xFC00}, {5, {8, 7, 0, 8}, 0x0100},
        {5, {255, 0, 0, 9}, 0x1F00},   {5, {0, 0, 255, 255}, 0xF00F},
    };
    for (const auto& [code, rgba, value] : rows) {
        const PictureSpec spec = RandomPicture(PictureKind::Mip, code, 1, 1, 1);
        const RgbaPicture one{1, 1, {rgba.begin(), rgba.end()}, {}, {}};
        const Bytes stored = StorePicture(PictureKind::Mip, EncodePicture(spec), one).value().Entry;
        const std::size_t at = PixelOffset(spec);
        EXPECT_EQ(stored[at] | stored[at + 1] << 8, value) << int(code) << " " << int(rgba[0]);
    }
}

// 4-bit codes keep a file's own palette in its order, alpha included; keep the table when every pixel's
// colour is in it; else reduce to 16 colours and say so.
TEST(PicturePng, FourBitCodesKeepAFilesPaletteUseTheTableOrReduce) {
    const PictureSpec spec = RandomPicture(PictureKind::Srb, 2, 8, 5, 4);
    const Bytes entry = EncodePicture(spec);
    const auto decoded = [](const auto& stored) { return *DecodePicture(PictureKind::Srb, stored->Entry); };
    RgbaPicture file{8, 5, Bytes(160), {}, {}};
    Bytes expected;
    for (int k = 0; k < 16; ++k)
        file.Palette.push_back(
            {std::uint8_t(255 - k), std::uint8_t(k), std::uint8_t(k * 9), std::uint8_t(k * 16)});
    for (int p = 0; p < 40; ++p) {
        const auto& [r, g, b, a] = file.Palette[file.Indices.emplace_back((p * 7) % 16)];
        expected.insert(expected.end(), {b, g, r, 255});
        std::copy_n(std::array{r, g, b, a}.begin(), 4, file.Rgba.begin() + 4 * p);
    }
    const auto own = StorePicture(PictureKind::Srb, entry, file);
    EXPECT_EQ(
        std::tuple(ToBgra32TopDown(decoded(own)), decoded(own).ColourTable[4 * 3 + 3], own->ReducedFrom),
        std::tuple(expected, 48, 0));

    file.Indices.clear(); // without its palette: 16 colours not the table's
    file.Palette.clear();
    EXPECT_EQ(StorePicture(PictureKind::Srb, entry, file)->ReducedFrom, 16);
    for (int p = 0; p < 40; ++p) {
        const std::uint8_t* bgra = &spec.Colours[4 * (p % 16)];
        std::copy_n(std::array{bgra[2], bgra[1], bgra[0], bgra[3]}.begin(), 4, file.Rgba.begin() + 4 * p);
    }
    const auto inTable = StorePicture(PictureKind::Srb, entry, file);
    EXPECT_EQ(std::tuple(inTable->ReducedFrom, decoded(inTable).ColourTable),
              std::tuple(0, DecodePicture(PictureKind::Srb, entry)->ColourTable));
}
