#include "export/freeimage_support.h"

#include "archive/error.h"

#include <mutex>

namespace kelvot::freeimage {

namespace {

// FreeImage reports why it failed only through a global callback; keep the last text per thread.
thread_local std::string lastMessage;

void KeepMessage(FREE_IMAGE_FORMAT, const char* message) {
    lastMessage = message ? message : "";
}

struct MemoryDeleter {
    void operator()(FIMEMORY* memory) const { FreeImage_CloseMemory(memory); }
};
using Memory = std::unique_ptr<FIMEMORY, MemoryDeleter>;

} // namespace

void ForgetMessage() {
    static std::once_flag handler;
    std::call_once(handler, [] { FreeImage_SetOutputMessage(KeepMessage); });
    lastMessage.clear();
}

void Failed(const std::string& what) {
    std::string text = "FreeImage could not " + what;
    if (!lastMessage.empty()) text += ": " + lastMessage;
    throw KelvotError(kImageLibraryFailed, text + ".");
}

std::vector<std::uint8_t> Save(FIBITMAP* dib, FREE_IMAGE_FORMAT format, int flags) {
    const Memory memory(FreeImage_OpenMemory());
    if (!memory) Failed("open a memory stream");
    const char* name = format == FIF_PNG ? "PNG" : "JPEG";
    if (!FreeImage_SaveToMemory(format, dib, memory.get(), flags))
        Failed(std::string("encode the picture as ") + name);
    BYTE* data = nullptr;
    DWORD size = 0;
    if (!FreeImage_AcquireMemory(memory.get(), &data, &size) || size == 0)
        Failed(std::string("encode the picture as ") + name);
    return std::vector<std::uint8_t>(data, data + size);
}

Bitmap Load(std::span<const std::uint8_t> file) {
    ForgetMessage();
    // FreeImage reads from memory it may not change only through a const-less pointer.
    const Memory memory(
        FreeImage_OpenMemory(const_cast<BYTE*>(file.data()), static_cast<DWORD>(file.size())));
    if (!memory) return nullptr;
    const FREE_IMAGE_FORMAT format = FreeImage_GetFileTypeFromMemory(memory.get(), 0);
    if (format == FIF_UNKNOWN || !FreeImage_FIFSupportsReading(format)) return nullptr;
    return Bitmap(FreeImage_LoadFromMemory(format, memory.get(), 0));
}

} // namespace kelvot::freeimage
