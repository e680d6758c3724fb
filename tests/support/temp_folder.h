#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <vector>

namespace kelvot::testkit {

// A fresh folder of its own under the system's temporary folder, removed with everything in it at the
// end. Tests run in parallel processes, so no two may share a fixed path.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

// Every file under the folder but those under `skip`, by its path relative to the folder, with its bytes.
using FileTree = std::map<std::filesystem::path, std::vector<std::uint8_t>>;
FileTree FilesUnder(const std::filesystem::path& folder, const std::filesystem::path& skip = {});

} // namespace kelvot::testkit
