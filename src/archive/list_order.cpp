#include "archive/list_order.h"

#include "archive/codepage.h"

#include <algorithm>
#include <array>
#include <numeric>

namespace kelvot {

bool FilterKeeps(TypeFilter filter, EntryType type) {
    switch (filter) {
    case TypeFilter::ThreeDO:
        return type == EntryType::ThreeDO;
    case TypeFilter::MIP:
        return type == EntryType::MIP;
    case TypeFilter::PBF:
        return type == EntryType::PBF;
    case TypeFilter::SRB:
        return type == EntryType::SRB;
    case TypeFilter::AllImages:
        return IsPicture(type);
    case TypeFilter::All:
        break;
    }
    return true;
}

std::string_view TypeFilterWord(TypeFilter filter) {
    constexpr std::array<std::string_view, kTypeFilters.size()> kWords = {"3do", "mip",    "pbf",
                                                                          "srb", "images", "all"};
    return kWords[static_cast<std::size_t>(filter)];
}

std::optional<TypeFilter> ParseTypeFilter(std::string_view word) {
    for (const TypeFilter filter : kTypeFilters)
        if (NamesEqualIgnoringCase(word, TypeFilterWord(filter))) return filter;
    return std::nullopt;
}

namespace {

// A name as the list orders it: each character folded to lower case as its Unicode value (16 bits for
// every Windows-1252 character), high byte first, padded with zeros. Keys compared byte by byte order
// names as CompareNamesIgnoringCase does, since no character of a name is 0 (names end at their first
// zero byte) and a shorter name's padding sorts before any character.
constexpr std::size_t kKeyCharacters = static_cast<std::size_t>(kNameFieldSize);
using SortKey = std::array<std::uint8_t, 2 * kKeyCharacters>;

SortKey KeyOf(std::string_view name) {
    SortKey key{};
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char32_t c = Cp1252ToUnicode(FoldCase(static_cast<unsigned char>(name[i])));
        key[2 * i] = static_cast<std::uint8_t>(c >> 8);
        key[2 * i + 1] = static_cast<std::uint8_t>(c);
    }
    return key;
}

} // namespace

std::vector<std::int32_t> SortedNameOrder(std::span<const std::string> names) {
    std::vector<std::int32_t> order(names.size());
    std::iota(order.begin(), order.end(), 0);
    const bool keysFit = std::all_of(names.begin(), names.end(), [](const std::string& name) {
        return name.size() <= kKeyCharacters && name.find('\0') == std::string::npos;
    });
    if (!keysFit) { // not a name the loader gives; compare the slow way
        std::stable_sort(order.begin(), order.end(), [&](std::int32_t a, std::int32_t b) {
            return CompareNamesIgnoringCase(names[a], names[b]) < 0;
        });
        return order;
    }
    // One key per name, then a plain sort of (key, index): the index keeps equal names in directory order.
    std::vector<std::pair<SortKey, std::int32_t>> keyed;
    keyed.reserve(order.size());
    for (const std::int32_t i : order)
        keyed.emplace_back(KeyOf(names[i]), i);
    std::sort(keyed.begin(), keyed.end());
    for (std::size_t k = 0; k < keyed.size(); ++k)
        order[k] = keyed[k].second;
    return order;
}

std::vector<std::int32_t> SortedEntries(const ArchiveModel& model) {
    return SortedNameOrder(model.Directory.EntryNames);
}

std::vector<std::int32_t> ApplyTypeFilter(const ArchiveModel& model, std::vector<std::int32_t> indices,
                                          TypeFilter filter) {
    if (filter == TypeFilter::All) return indices;
    std::erase_if(indices, [&](std::int32_t i) {
        const auto first = model.FindEntry(model.Directory.EntryNames[i]);
        return !FilterKeeps(filter, model.Directory.EntryTypes[first.value_or(i)]);
    });
    return indices;
}

std::vector<std::int32_t> ListedEntries(const ArchiveModel& model, TypeFilter filter) {
    return ApplyTypeFilter(model, SortedEntries(model), filter);
}

} // namespace kelvot
