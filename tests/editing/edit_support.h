#pragma once

// Small helpers the editing and archive tests share.

#include "archive/error.h"
#include "archive/file_ops.h"
#include "editing/archive_edit.h"
#include "export/png_export.h"
#include "images/pixel_decoders.h"
#include "picture_builder.h"

#include <functional>

namespace kelvot::testkit {

// Puts the file layer's fault hook in place for as long as it lives.
struct HookInPlace {
    explicit HookInPlace(FileFaultHook hook) : previous(SetFileFaultHook(std::move(hook))) {}
    ~HookInPlace() { SetFileFaultHook(std::move(previous)); }
    FileFaultHook previous;
};

inline std::vector<std::uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

inline std::vector<std::uint8_t> Picture(PictureKind kind, std::uint8_t code, std::int16_t width,
                                         std::int16_t height, std::uint32_t seed) {
    return EncodePicture(RandomPicture(kind, code, width, height, seed));
}

inline std::vector<std::uint8_t> Png(PictureKind kind, const std::vector<std::uint8_t>& entry) {
    return EncodePng(kind, entry, *DecodePicture(kind, entry));
}

// An edit as the command line runs it: the lock, the directory read through it, the change.
template <typename Edit> auto Edited(const std::filesystem::path& archive, const Edit& edit) {
    const EditLock lock(archive);
    const ArchiveModel directory = ReadArchiveDirectory(lock);
    return edit(lock, directory);
}

// The message of the KelvotError the call throws.
inline std::string Failure(const std::function<void()>& call) {
    try {
        call();
    } catch (const KelvotError& e) {
        return e.what();
    }
    return "(no failure)";
}

} // namespace kelvot::testkit
