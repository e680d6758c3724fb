#include "export/jpeg_export.h"

#include "archive/codepage.h"
#include "archive/error.h"

#include <FreeImage.h>

#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

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

// FreeImage reports why it failed only through a global callback; keep the last text per thread.
thread_local std::string lastLibraryMessage;

void KeepLibraryMessage(FREE_IMAGE_FORMAT, const char* message) {
    lastLibraryMessage = message ? message : "";
}

struct BitmapDeleter {
    void operator()(FIBITMAP* dib) const { FreeImage_Unload(dib); }
};
using Bitmap = std::unique_ptr<FIBITMAP, BitmapDeleter>;

struct MemoryDeleter {
    void operator()(FIMEMORY* memory) const { FreeImage_CloseMemory(memory); }
};
using Memory = std::unique_ptr<FIMEMORY, MemoryDeleter>;

[[noreturn]] void LibraryFailed(const std::string& what) {
    std::string text = "FreeImage could not " + what;
    if (!lastLibraryMessage.empty()) text += ": " + lastLibraryMessage;
    throw KelvotError(kJpegEncodingFailed, text + ".");
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
    static std::once_flag messageHandler;
    std::call_once(messageHandler, [] { FreeImage_SetOutputMessage(KeepLibraryMessage); });
    lastLibraryMessage.clear();

    // Blue, green, red, 255 per pixel, top row first: FreeImage's own byte order on this machine.
    std::vector<std::uint8_t> pixels = ToBgra32TopDown(picture);
    if (pixels.empty()) throw std::invalid_argument("the picture's pixel rows do not match its size");
    const int width = picture.ImageWidth;
    const Bitmap raw(FreeImage_ConvertFromRawBits(pixels.data(), width, picture.ImageHeight, 4 * width, 32,
                                                  FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK,
                                                  TRUE));
    if (!raw) LibraryFailed("hold the picture");
    const Bitmap rgb(FreeImage_ConvertTo24Bits(raw.get()));
    if (!rgb) LibraryFailed("convert the picture to 24 bits per pixel");

    const Memory memory(FreeImage_OpenMemory());
    if (!memory) LibraryFailed("open a memory stream");
    if (!FreeImage_SaveToMemory(FIF_JPEG, rgb.get(), memory.get(), JpegSaveFlag(quality)))
        LibraryFailed("encode the picture as JPEG");
    BYTE* data = nullptr;
    DWORD size = 0;
    if (!FreeImage_AcquireMemory(memory.get(), &data, &size) || size == 0)
        LibraryFailed("encode the picture as JPEG");
    return std::vector<std::uint8_t>(data, data + size);
}

} // namespace kelvot
