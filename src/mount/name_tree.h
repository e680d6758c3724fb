#pragma once

// The names a mounted archive shows: every entry as a file at the top, and every picture entry as
// STEM.png in the folder png/. Built from the directory alone, without FUSE.
//
// A name that cannot be a file name is shown in a safe form: each byte that is "/", "\", a control
// character or 0 becomes %XX (its value in upper-case hex), an empty name becomes "%", and "." and ".."
// become "%2E" and "%2E%2E". Names then equal to an earlier one, letter case ignored, get "~N" before
// their extension (the part from the last dot, unless that dot starts the name): the second A.BMP in
// directory order is A~2.BMP, the third A~3.BMP, N the lowest from 2 up that gives a name not yet taken.
// The folder png/ takes its name first, so an entry named png (any case) becomes png~2.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kelvot::mount {

// The safe form of one name (Windows-1252 bytes), still in Windows-1252 (escapes are ASCII).
std::string SafeName(std::string_view name);

// The names to show for `names` (Windows-1252 bytes, in directory order), as UTF-8: SafeName, then the
// twin suffix. Names in `reserved` (Windows-1252) count as taken before the first.
std::vector<std::string> ShownNames(const std::vector<std::string>& names,
                                    const std::vector<std::string>& reserved);

// One folder: its files' shown names (UTF-8), each with the entry it stands for, in directory order.
struct Folder {
    std::vector<std::string> Names;
    std::vector<std::int32_t> Entries;
    std::unordered_map<std::string, std::size_t> ByName; // shown name -> position

    // The position of the file of that name (letter case counts, as on the file system).
    std::optional<std::size_t> Find(std::string_view name) const;
};

inline constexpr std::string_view kPngFolder = "png";

struct NameTree {
    Folder Top;  // every entry
    Folder Pngs; // the picture entries, as STEM.png
};

// `names`: every entry's name; `pictures`: the entries shown in png/, in directory order.
NameTree BuildNameTree(const std::vector<std::string>& names, const std::vector<std::int32_t>& pictures);

} // namespace kelvot::mount
