#include "export/jpeg_export.h"

#include "archive/codepage.h"
#include "archive/error.h"

#include <stdexcept>

namespace kelvot {

namespace {

struct QualityRow {
    JpegQuality Quality;
    std::string_view Word;
    std::string_view CliWord;
    int Flag;
};

constexpr QualityRow kQualityTable[] = {
    {JpegQuality::Superb, "Superb", "superb", JPEG_QUALITYSUPERB},
    {JpegQuality::Good, "Good", "good", JPEG_QUALITYGOOD},
    {JpegQuality::Normal, "Normal", "normal", JPEG_QUALITYNORMAL},
    {JpegQuality::Average, "Average", "average", JPEG_QUALITYAVERAGE},
    {JpegQuality::Bad, "Bad", "bad", JPEG_QUALITYBAD},
};

const QualityRow& RowOf(JpegQuality quality) {
    return kQualityTable[static_cast<std::size_t>(quality)];
}

} // namespace

std::string_view JpegQualityWord(JpegQuality quality) {
    return RowOf(quality).Word;
}
std::string_view JpegQualityCliWord(JpegQuality quality) {
    return RowOf(quality).CliWord;
}
int JpegSaveFlag(JpegQuality quality) {
    return RowOf(quality).Flag;
}

std::optional<JpegQuality> ParseJpegQuality(std::string_view word) {
    for (const QualityRow& row : kQualityTable)
        if (NamesEqualIgnoringCase(word, row.Word)) return row.Quality;
    return std::nullopt;
}

JpegQuality StoredJpegQuality(std::string_view word) {
    return ParseJpegQuality(word).value_or(kDefaultJpegQuality);
}

std::vector<std::uint8_t> EncodeJpeg(const ImageState& picture, JpegQuality quality) {
    freeimage::ForgetMessage();
    freeimage::Bitmap dib = ToFreeImage(picture);
    if (picture.BitCount != 24) {
        dib.reset(FreeImage_ConvertTo24Bits(dib.get()));
        if (!dib) freeimage::Failed("convert the picture to 24 bits per pixel");
    }
    return freeimage::Save(dib.get(), FIF_JPEG, JpegSaveFlag(quality));
}

freeimage::Bitmap ToFreeImage(const ImageState& picture) {
    // FreeImage takes the state's rows as they are (bottom row first, blue-green-red on this machine), so
    // the picture is held twice at the most while it is encoded: the state and FreeImage's copy.
    const int width = picture.ImageWidth;
    const int height = picture.ImageHeight;
    const int bits = picture.BitCount;
    if (width <= 0 || height <= 0 || (bits != 4 && bits != 8 && bits != 24) ||
        picture.Stride != DibStride(width, bits) ||
        picture.Bits.size() / static_cast<std::size_t>(picture.Stride) < static_cast<std::size_t>(height))
        throw std::invalid_argument("the picture's pixel rows do not match its size");
    freeimage::Bitmap dib(FreeImage_ConvertFromRawBits(
        const_cast<BYTE*>(picture.Bits.data()), width, height, picture.Stride, static_cast<unsigned>(bits),
        FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK, FALSE));
    if (!dib) freeimage::Failed("hold the picture");
    if (bits != 24) {
        RGBQUAD* palette = FreeImage_GetPalette(dib.get());
        for (unsigned k = 0; k < FreeImage_GetColorsUsed(dib.get()); ++k) {
            palette[k].rgbBlue = picture.ColourTable[4 * k];
            palette[k].rgbGreen = picture.ColourTable[4 * k + 1];
            palette[k].rgbRed = picture.ColourTable[4 * k + 2];
        }
    }
    return dib;
}

} // namespace kelvot
