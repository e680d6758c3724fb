#pragma once

// Import Picture: an image file (any format FreeImage reads) stored into a picture entry in the entry's
// own kind, format code and layout (picture_encoders.h). Only the bytes of the entry's first picture and,
// for codes 0-2, its colour table change; the archive is otherwise copied byte for byte into a replacement
// of the locked file, as every edit is.

#include "editing/archive_edit.h"

#include <cstdint>
#include <filesystem>

namespace kelvot {

struct ImportResult {
    EditResult Edit;
    std::int32_t ReducedFrom = 0; // a 4-bit picture reduced to 16 colours: how many it had; else 0
};

// Refuses with KelvotError, the archive untouched: an entry that is not a picture, lies outside the file,
// has format code 6 or more, a picture that does not fit it or is larger than `maxMegapixels`, or bytes
// that another entry (or the directory) shares; a file that is missing, not a picture, or of another size.
ImportResult ImportPicture(const EditLock& archive, const ArchiveModel& seen, std::int32_t index,
                           const std::filesystem::path& file, std::int64_t maxMegapixels,
                           const EditProgress& progress = {}, UndoStep* undo = nullptr);

} // namespace kelvot
