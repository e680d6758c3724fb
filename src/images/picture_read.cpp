#include "images/picture_read.h"

#include "images/pixel_decoders.h"

#include <algorithm>
#include <span>

namespace kelvot {

namespace {

// The first read takes this much of the entry, so a small picture (a thumbnail's, say) costs one read.
constexpr std::int64_t kFirstRead = 64 * 1024;

} // namespace

std::vector<std::uint8_t> ReadPictureBytes(const FileHandle& file, FileRange entry, PictureKind kind,
                                           std::int64_t maxPixels) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(
        std::min(entry.Length, std::max<std::int64_t>(kFirstRead, kPictureHeaderBytes))));
    ReadExactly(file, entry.Offset, bytes);
    const auto extent = MeasurePicture(kind, bytes);
    const bool wanted = extent && std::int64_t{extent->Width} * extent->Height <= maxPixels;
    const auto keep = static_cast<std::size_t>(
        wanted ? std::min(extent->Bytes, entry.Length)
               : std::min(entry.Length, static_cast<std::int64_t>(kPictureHeaderBytes)));
    const std::size_t read = bytes.size();
    bytes.resize(keep);
    if (keep > read)
        ReadExactly(file, entry.Offset + static_cast<std::int64_t>(read), std::span(bytes).subspan(read));
    return bytes;
}

} // namespace kelvot
