#include "editing/name_checks.h"

#include "archive/codepage.h"
#include "archive/dat_format.h"

#include <algorithm>

namespace kelvot {

namespace {

const std::string kTooLong =
    "The filename (including extension) must be 12 characters or less.\nPlease provide another filename.";
const std::string kBadCharacters = "A filename cannot contain any of the following characters:\n"
                                   "\\ / : * ? \" < > |\n\nPlease try again.";
const std::string kNotWritable = "A filename in a DAT file can only hold printable characters of the "
                                 "Windows-1252 code page (Western European letters, digits and signs).\n"
                                 "Please try again.";

// Characters of UTF-8 text: every byte that does not continue a sequence starts one.
std::size_t CountCharacters(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(
        text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

bool EndsWithDat(std::string_view text) {
    if (text.size() < 4) return false;
    return NamesEqualIgnoringCase(text.substr(text.size() - 4), ".dat");
}

bool HasForbiddenCharacter(std::string_view text) {
    return text.find_first_of("\\/:*?\"<>|") != std::string_view::npos;
}

NameCheck Refuse(std::string message) {
    return {NameVerdict::Refused, std::move(message), {}};
}

} // namespace

bool IsWritableEntryName(std::string_view name) {
    return !name.empty() && name.size() <= kMaxNameLength && !HasControlCharacter(name);
}

NameCheck CheckNewArchiveName(std::string_view typed) {
    if (typed.empty() || NamesEqualIgnoringCase(typed, ".dat")) return {};
    if (!EndsWithDat(typed)) return Refuse("The extension must be .dat or .DAT\nPlease try again.");
    if (CountCharacters(typed) > kMaxNameLength) return Refuse(kTooLong);
    if (HasForbiddenCharacter(typed)) return Refuse(kBadCharacters);
    const auto name = Utf8ToCp1252(typed);
    if (!name || !IsWritableEntryName(*name)) return Refuse(kNotWritable);
    return {NameVerdict::Accepted, {}, *name};
}

NameCheck CheckNewEntryName(std::string_view typed, std::span<const std::string> listedNames) {
    if (typed.empty()) return {};
    if (CountCharacters(typed) > kMaxNameLength) return Refuse(kTooLong);
    const std::size_t dot = typed.rfind('.');
    if (dot == std::string_view::npos)
        return Refuse("You must separate the filename and the extension by a dot.\nPlease try again.");
    if (dot == 0) return Refuse("You have not provided a filename.\nPlease try again.");
    const std::size_t extension = CountCharacters(typed.substr(dot + 1));
    if (extension != 2 && extension != 3)
        return Refuse("The extension must be 2 or 3 characters.\nPlease try again.");
    if (HasForbiddenCharacter(typed)) return Refuse(kBadCharacters);
    const auto name = Utf8ToCp1252(typed);
    if (!name || !IsWritableEntryName(*name)) return Refuse(kNotWritable);
    if (BSearch(listedNames, *name) >= 0)
        return Refuse("The new filename you are providing already exists in the DAT file.\n"
                      "Please provide another filename.");
    return {NameVerdict::Accepted, {}, *name};
}

std::int32_t BSearch(std::span<const std::string> sortedNames, std::string_view key) {
    // 32-bit indices: a list of up to 32767 items (and far more) cannot overflow lo + hi.
    std::int32_t lo = 0;
    std::int32_t hi = static_cast<std::int32_t>(sortedNames.size()) - 1;
    while (lo <= hi) {
        const std::int32_t mid = lo + (hi - lo) / 2;
        const std::string_view item = sortedNames[static_cast<std::size_t>(mid)];
        // Only the item's first key.size() characters take part, so a key matches an item it begins.
        const int order = CompareNamesIgnoringCase(key, item.substr(0, key.size()));
        if (order > 0)
            lo = mid + 1;
        else if (order < 0)
            hi = mid - 1;
        else
            return mid;
    }
    return -1;
}

std::vector<std::string> ListedNames(const ArchiveModel& model, TypeFilter filter) {
    std::vector<std::string> names;
    for (const std::int32_t index : ListedEntries(model, filter))
        names.push_back(model.Directory.EntryNames[static_cast<std::size_t>(index)]);
    return names;
}

} // namespace kelvot
