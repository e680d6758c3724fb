#pragma once

#include <filesystem>

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

} // namespace kelvot::testkit
