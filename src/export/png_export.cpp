#include "export/png_export.h"

#include "export/freeimage_support.h"
#include "export/jpeg_export.h"

#include <cstring>
#include <stdexcept>

namespace kelvot {

std::vector<std::uint8_t> EncodePng(PictureKind kind, EntryBytes entry, const ImageState& picture) {
    freeimage::ForgetMessage();
    const auto alpha = DecodeAlpha(kind, entry);
    if (!alpha || alpha->ImageWidth != picture.ImageWidth || alpha->ImageHeight != picture.ImageHeight)
        throw std::invalid_argument("the picture does not match its entry");
    if (picture.BitCount == 4) {
        const freeimage::Bitmap dib = ToFreeImage(picture);
        if (ReadFormatCode(kind, entry) != 0) {
            BYTE table[16];
            for (std::size_t k = 0; k < 16; ++k)
                table[k] = picture.ColourTable[4 * k + 3];
            FreeImage_SetTransparencyTable(dib.get(), table, 16);
        }
        return freeimage::Save(dib.get(), FIF_PNG, PNG_Z_BEST_SPEED);
    }
    // Blue, green, red and alpha per pixel, rows bottom-up as in the states.
    const int width = picture.ImageWidth;
    const freeimage::Bitmap dib(FreeImage_Allocate(width, picture.ImageHeight, 32, FI_RGBA_RED_MASK,
                                                   FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK));
    if (!dib) freeimage::Failed("hold the picture");
    for (int y = 0; y < picture.ImageHeight; ++y) {
        BYTE* out = FreeImage_GetScanLine(dib.get(), y);
        const std::uint8_t* bgr = picture.Bits.data() + static_cast<std::size_t>(y) * picture.Stride;
        const std::uint8_t* a = alpha->Bits.data() + static_cast<std::size_t>(y) * alpha->Stride;
        for (int x = 0; x < width; ++x) {
            out[4 * x + FI_RGBA_BLUE] = bgr[3 * x];
            out[4 * x + FI_RGBA_GREEN] = bgr[3 * x + 1];
            out[4 * x + FI_RGBA_RED] = bgr[3 * x + 2];
            out[4 * x + FI_RGBA_ALPHA] = a[x];
        }
    }
    return freeimage::Save(dib.get(), FIF_PNG, PNG_Z_BEST_SPEED);
}

} // namespace kelvot
