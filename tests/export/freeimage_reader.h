#pragma once

// Reads an image file's bytes back with FreeImage, a reader independent of our BMP writer.

#include <FreeImage.h>

#include <cstdint>
#include <vector>

struct ReadBack {
    FREE_IMAGE_FORMAT Format = FIF_UNKNOWN;
    unsigned Bits = 0; // per pixel, as stored in the file
    int Width = 0, Height = 0;
    std::vector<std::uint8_t> Bgra; // blue, green, red, 255; top row first
};

inline ReadBack ReadWithFreeImage(const std::vector<std::uint8_t>& file) {
    ReadBack r;
    FIMEMORY* memory = FreeImage_OpenMemory(const_cast<BYTE*>(file.data()), static_cast<DWORD>(file.size()));
    r.Format = FreeImage_GetFileTypeFromMemory(memory);
    if (FIBITMAP* dib = r.Format == FIF_UNKNOWN ? nullptr : FreeImage_LoadFromMemory(r.Format, memory)) {
        r.Bits = FreeImage_GetBPP(dib);
        r.Width = static_cast<int>(FreeImage_GetWidth(dib));
        r.Height = static_cast<int>(FreeImage_GetHeight(dib));
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
