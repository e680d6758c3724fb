#include "images/picture_read.h"

#include "images/pixel_decoders.h"

#include <algorithm>

namespace kelvot {

std::vector<std::uint8_t> ReadPictureBytes(const FileHandle& file, FileRange entry, PictureKind kind,
                                           std::int64_t maxPixels) {
    std::vector<std::uint8_t> bytes(
        static_cast<std::size_t>(std::min(entry.Length, static_cast<std::int64_t>(kPictureHeaderBytes))));
    ReadExactly(file, entry.Offset, bytes);
    const auto extent = MeasurePicture(kind, bytes);
    if (extent && std::int64_t{extent->Width} * extent->Height <= maxPixels) {
        bytes.resize(static_cast<std::size_t>(std::min(extent->Bytes, entry.Length)));
        ReadExactly(file, entry.Offset, bytes);
    }
    return bytes;
}

} // namespace kelvot
