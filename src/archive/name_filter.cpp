#include "archive/name_filter.h"

#include "archive/codepage.h"

#include <algorithm>

namespace kelvot {

namespace {

bool SameFolded(char nameByte, char foldedByte) {
    return FoldCase(static_cast<unsigned char>(nameByte)) == static_cast<unsigned char>(foldedByte);
}

// The whole name against the pattern. A mismatch goes back only to the last * seen, so a name costs at
// most its length times the pattern's, with no recursion however many * the pattern has.
bool WildcardMatches(std::string_view pattern, std::string_view name) {
    std::size_t p = 0, n = 0;
    std::size_t starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || SameFolded(name[n], pattern[p]))) {
            ++p, ++n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

} // namespace

NamePattern ParseNamePattern(std::string_view utf8) {
    NamePattern pattern;
    const auto bytes = Utf8ToCp1252(utf8);
    if (!bytes) {
        pattern.Unwritable = true;
        return pattern;
    }
    pattern.Folded = FoldName(*bytes);
    pattern.Wildcard = pattern.Folded.find_first_of("*?") != std::string::npos;
    return pattern;
}

bool NameMatches(const NamePattern& pattern, std::string_view name) {
    if (pattern.Unwritable) return false;
    if (pattern.Wildcard) return WildcardMatches(pattern.Folded, name);
    if (pattern.Folded.empty()) return true;
    return std::search(name.begin(), name.end(), pattern.Folded.begin(), pattern.Folded.end(), SameFolded) !=
           name.end();
}

std::vector<std::int32_t> ApplyNameFilter(const ArchiveModel& model, std::vector<std::int32_t> indices,
                                          std::string_view patternUtf8) {
    if (patternUtf8.empty()) return indices;
    const NamePattern pattern = ParseNamePattern(patternUtf8);
    std::erase_if(indices,
                  [&](std::int32_t i) { return !NameMatches(pattern, model.Directory.EntryNames[i]); });
    return indices;
}

} // namespace kelvot
