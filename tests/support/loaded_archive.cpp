#include "loaded_archive.h"

#include "archive_builder.h"

namespace kelvot::testkit {

LoadedArchive::LoadedArchive(const std::vector<std::uint8_t>& bytes) {
    WriteFile(path(), bytes);
    file_ = OpenForReading(path());
    model_ = LoadArchive(file_);
}

std::vector<std::uint8_t> LoadedArchive::Entry(std::int32_t index) const {
    EntryReader reader(model_, file_);
    const auto bytes = reader.Read(index);
    return {bytes.begin(), bytes.end()};
}

} // namespace kelvot::testkit
