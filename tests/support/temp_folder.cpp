#include "temp_folder.h"

#include "archive/file_system.h"
#include "archive_builder.h"

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace kelvot::testkit {

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kelvot_test_XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a temporary folder");
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ec;
    // Folders a test made read-only must become writable again before they can go.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

FileTree FilesUnder(const std::filesystem::path& folder, const std::filesystem::path& skip) {
    FileTree tree;
    for (auto it = std::filesystem::recursive_directory_iterator(folder);
         it != std::filesystem::recursive_directory_iterator(); ++it) {
        if (it->path() == skip)
            it.disable_recursion_pending();
        else if (!it->is_directory())
            tree[std::filesystem::relative(it->path(), folder)] = ReadFile(it->path());
    }
    return tree;
}

} // namespace kelvot::testkit
