#include "mount/name_tree.h"

#include "archive/codepage.h"
#include "archive/dat_format.h"
#include "export/picture_export.h"

#include <unordered_set>

namespace kelvot::mount {

namespace {

bool UnsafeByte(char c) {
    return c == '\0' || c == '/' || c == '\\' || HasControlCharacter(std::string_view(&c, 1));
}

std::string Escaped(unsigned char byte) {
    constexpr char kHex[] = "0123456789ABCDEF";
    return {'%', kHex[byte >> 4], kHex[byte & 15]};
}

// The name with "~n" before its extension.
std::string WithSuffix(const std::string& name, int n) {
    const auto dot = name.rfind('.');
    const auto cut = dot == std::string::npos || dot == 0 ? name.size() : dot;
    return name.substr(0, cut) + "~" + std::to_string(n) + name.substr(cut);
}

} // namespace

std::string SafeName(std::string_view name) {
    if (name.empty()) return "%";
    if (name == "." || name == "..") return name.size() == 1 ? "%2E" : "%2E%2E";
    std::string safe;
    for (const char c : name)
        safe += UnsafeByte(c) ? Escaped(static_cast<unsigned char>(c)) : std::string(1, c);
    return safe;
}

std::vector<std::string> ShownNames(const std::vector<std::string>& names,
                                    const std::vector<std::string>& reserved) {
    std::unordered_set<std::string> taken; // folded
    for (const auto& name : reserved)
        taken.insert(FoldName(name));
    // The next suffix to try for a folded name, so many twins of one name cost one step each.
    std::unordered_map<std::string, int> next;
    std::vector<std::string> shown;
    shown.reserve(names.size());
    for (const auto& name : names) {
        std::string safe = SafeName(name);
        std::string key = FoldName(safe);
        if (!taken.insert(key).second) {
            int& n = next.try_emplace(key, 2).first->second;
            std::string twin;
            do {
                twin = WithSuffix(safe, n++);
            } while (!taken.insert(FoldName(twin)).second);
            safe = std::move(twin);
        }
        shown.push_back(Cp1252ToUtf8(safe));
    }
    return shown;
}

std::optional<std::size_t> Folder::Find(std::string_view name) const {
    const auto it = ByName.find(std::string(name));
    if (it == ByName.end()) return std::nullopt;
    return it->second;
}

namespace {

Folder MakeFolder(std::vector<std::string> shown, std::vector<std::int32_t> entries) {
    Folder folder{std::move(shown), std::move(entries), {}};
    folder.ByName.reserve(folder.Names.size());
    for (std::size_t k = 0; k < folder.Names.size(); ++k)
        folder.ByName.emplace(folder.Names[k], k);
    return folder;
}

} // namespace

NameTree BuildNameTree(const std::vector<std::string>& names, const std::vector<std::int32_t>& pictures) {
    std::vector<std::int32_t> all(names.size());
    for (std::size_t i = 0; i < all.size(); ++i)
        all[i] = static_cast<std::int32_t>(i);
    std::vector<std::string> pngNames;
    pngNames.reserve(pictures.size());
    for (const std::int32_t i : pictures)
        pngNames.push_back(SafeName(ExportStem(names[i])) + ".png");
    return {MakeFolder(ShownNames(names, {std::string(kPngFolder)}), std::move(all)),
            MakeFolder(ShownNames(pngNames, {}), pictures)};
}

} // namespace kelvot::mount
