#include "export/picture_file.h"

#include "export/freeimage_support.h"

#include <algorithm>

namespace kelvot {

std::optional<RgbaPicture> ReadPictureFile(std::span<const std::uint8_t> file) {
    const freeimage::Bitmap dib = freeimage::Load(file);
    if (!dib || !FreeImage_HasPixels(dib.get())) return std::nullopt;
    RgbaPicture picture;
    picture.Width = static_cast<std::int32_t>(FreeImage_GetWidth(dib.get()));
    picture.Height = static_cast<std::int32_t>(FreeImage_GetHeight(dib.get()));
    const auto width = static_cast<unsigned>(picture.Width);
    const auto height = static_cast<unsigned>(picture.Height);

    // A palette file whose pixels use only its first 16 entries counts as indexed: FreeImage reads a 4-bit
    // PNG with transparency as 8 bits with a palette of 256.
    const unsigned colours = std::min(FreeImage_GetColorsUsed(dib.get()), 16u);
    if (FreeImage_GetImageType(dib.get()) == FIT_BITMAP && FreeImage_GetBPP(dib.get()) <= 8 && colours > 0) {
        for (unsigned y = 0; y < height; ++y)
            for (unsigned x = 0; x < width; ++x) {
                BYTE index = 0;
                FreeImage_GetPixelIndex(dib.get(), x, height - 1 - y, &index); // FreeImage rows run bottom-up
                picture.Indices.push_back(index);
            }
        if (std::any_of(picture.Indices.begin(), picture.Indices.end(),
                        [&](BYTE i) { return i >= colours; })) {
            picture.Indices.clear();
        } else {
            const RGBQUAD* palette = FreeImage_GetPalette(dib.get());
            const BYTE* alpha =
                FreeImage_IsTransparent(dib.get()) ? FreeImage_GetTransparencyTable(dib.get()) : nullptr;
            const unsigned alphas = alpha ? FreeImage_GetTransparencyCount(dib.get()) : 0;
            for (unsigned k = 0; k < colours; ++k)
                picture.Palette.push_back({palette[k].rgbRed, palette[k].rgbGreen, palette[k].rgbBlue,
                                           static_cast<std::uint8_t>(k < alphas ? alpha[k] : 255)});
        }
    }

    const freeimage::Bitmap rgba(FreeImage_ConvertTo32Bits(dib.get()));
    if (!rgba) return std::nullopt;
    picture.Rgba.reserve(4 * static_cast<std::size_t>(width) * height);
    for (unsigned y = 0; y < height; ++y) {
        const BYTE* row = FreeImage_GetScanLine(rgba.get(), static_cast<int>(height - 1 - y));
        for (unsigned x = 0; x < width; ++x) {
            const BYTE* p = row + 4 * x;
            picture.Rgba.insert(picture.Rgba.end(),
                                {p[FI_RGBA_RED], p[FI_RGBA_GREEN], p[FI_RGBA_BLUE], p[FI_RGBA_ALPHA]});
        }
    }
    return picture;
}

} // namespace kelvot
