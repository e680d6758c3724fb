#pragma once

// What every use of FreeImage shares: owning handles, the library's own words for a failure, and image
// files to and from memory.

#include <FreeImage.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace kelvot::freeimage {

struct BitmapDeleter {
    void operator()(FIBITMAP* dib) const { FreeImage_Unload(dib); }
};
using Bitmap = std::unique_ptr<FIBITMAP, BitmapDeleter>;

// Clears the last message FreeImage gave on this thread; call before a use whose failure is reported.
void ForgetMessage();
// Throws KelvotError number kImageLibraryFailed: "FreeImage could not <what>", with the library's own
// message when it gave one.
[[noreturn]] void Failed(const std::string& what);

// The bitmap as a file of that format (FIF_JPEG, FIF_PNG) with those flags, in memory.
std::vector<std::uint8_t> Save(FIBITMAP* dib, FREE_IMAGE_FORMAT format, int flags);
// A file's bytes as a bitmap; null when FreeImage does not know the format or cannot read it.
Bitmap Load(std::span<const std::uint8_t> file);

} // namespace kelvot::freeimage
