#include "archive/error.h"

#include <cstring>

namespace kelvot {

KelvotError SystemError(int errnoValue, const std::string& what, const std::string& path) {
    return KelvotError(errnoValue, what + " " + path + ": " + std::strerror(errnoValue));
}

} // namespace kelvot
