#pragma once

#include <stdexcept>
#include <string>

namespace kelvot {

// A failure that a command reports to the user. The text is fit to show as it stands; the number is
// the operating system's error number for file errors, or one of ErrorNumber for damaged files.
class KelvotError : public std::runtime_error {
  public:
    KelvotError(int number, const std::string& description)
        : std::runtime_error(description), number_(number) {}
    int number() const noexcept { return number_; }

  private:
    int number_;
};

enum ErrorNumber : int {
    kDamagedArchive = 1001,     // the bytes of an archive do not describe an archive we can open
    kNoSuchEntry = 1002,        // a name that matches no entry
    kWouldReplaceSource = 1003, // a file to be written is the archive being read
    kImageLibraryFailed = 1101, // FreeImage could not encode or read a picture
};

// A file-system failure: "<what> <path>: <the system's description of errno>".
KelvotError SystemError(int errnoValue, const std::string& what, const std::string& path);

} // namespace kelvot
