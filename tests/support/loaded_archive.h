#pragma once

// An archive's bytes written to a temporary file and read back as the programs read it: the model, and
// the file kept open for its entries.

#include "archive/archive_model.h"
#include "temp_folder.h"

#include <cstdint>
#include <vector>

namespace kelvot::testkit {

class LoadedArchive {
  public:
    // Throws KelvotError, as LoadArchive does, when the bytes are no archive.
    explicit LoadedArchive(const std::vector<std::uint8_t>& bytes);

    const ArchiveModel& model() const { return model_; }
    const ArchiveModel* operator->() const { return &model_; }
    const FileHandle& file() const { return file_; }
    std::filesystem::path path() const { return folder_ / "A.DAT"; }
    // The entry's bytes, cut to the file.
    std::vector<std::uint8_t> Entry(std::int32_t index) const;

  private:
    TempFolder folder_;
    FileHandle file_;
    ArchiveModel model_;
};

} // namespace kelvot::testkit
