#pragma once

// A picture entry read from the archive file: only the bytes its picture takes, however large the entry,
// in one read where the entry is small.

#include "archive/archive_model.h"
#include "images/picture_layout.h"

#include <cstdint>
#include <limits>
#include <vector>

namespace kelvot {

// The entry's header and, when the header tells the picture's size and it has at most `maxPixels` pixels,
// the bytes its picture takes (cut to the entry). Throws KelvotError when the file cannot be read.
std::vector<std::uint8_t> ReadPictureBytes(const FileHandle& file, FileRange entry, PictureKind kind,
                                           std::int64_t maxPixels = std::numeric_limits<std::int64_t>::max());

} // namespace kelvot
