#pragma once

// PNG files through FreeImage, with the picture's transparency in them. Codes 0-2 become 4-bit indexed
// files whose palette is the entry's colour table in order and whose indices are the entry's own (codes
// 1-2 with the table's fourth bytes as the palette's alpha, code 0 opaque); codes 3-5 become files of the
// decoded colours with DecodeAlpha's alpha (FreeImage leaves the alpha channel out where every pixel is
// opaque, as for code 3). The size is the header's: a 4-bit PBF picture does not show its padding columns.
// zlib's fastest level: the files come out about a fifth larger than ImageMagick's, in a third of its time.

#include "images/picture_layout.h"
#include "images/pixel_decoders.h"

#include <cstdint>
#include <vector>

namespace kelvot {

// `picture` is DecodePicture(kind, entry). Throws KelvotError number kImageLibraryFailed when FreeImage
// fails.
std::vector<std::uint8_t> EncodePng(PictureKind kind, EntryBytes entry, const ImageState& picture);

} // namespace kelvot
