#pragma once

// Small helpers the editing tests share.

#include "archive/error.h"
#include "archive/file_ops.h"

#include <dirent.h>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace kelvot::testkit {

// Puts the file layer's fault hook in place for as long as it lives.
struct HookInPlace {
    explicit HookInPlace(FileFaultHook hook) : previous(SetFileFaultHook(std::move(hook))) {}
    ~HookInPlace() { SetFileFaultHook(std::move(previous)); }
    FileFaultHook previous;
};

inline std::vector<std::uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

// The message of the KelvotError the call throws.
inline std::string Failure(const std::function<void()>& call) {
    try {
        call();
    } catch (const KelvotError& e) {
        return e.what();
    }
    return "(no failure)";
}

// The names in a folder, in the order the system lists them (readdir, not std::filesystem).
inline std::vector<std::string> ListedOrder(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(dir))
            if (std::string_view(e->d_name) != "." && std::string_view(e->d_name) != "..")
                names.emplace_back(e->d_name);
        ::closedir(dir);
    }
    return names;
}

inline std::set<std::string> FolderNames(const std::filesystem::path& folder) {
    const auto names = ListedOrder(folder);
    return {names.begin(), names.end()};
}

} // namespace kelvot::testkit
