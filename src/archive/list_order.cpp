#include "archive/list_order.h"

#include "archive/codepage.h"

#include <algorithm>
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

std::optional<TypeFilter> ParseTypeFilter(std::string_view word) {
    const std::string folded = FoldName(word);
    if (folded == "all") return TypeFilter::All;
    if (folded == "images") return TypeFilter::AllImages;
    if (folded == "3do") return TypeFilter::ThreeDO;
    if (folded == "mip") return TypeFilter::MIP;
    if (folded == "pbf") return TypeFilter::PBF;
    if (folded == "srb") return TypeFilter::SRB;
    return std::nullopt;
}

std::vector<std::int32_t> SortedEntries(const ArchiveModel& model) {
    std::vector<std::int32_t> order(model.EntryCount);
    std::iota(order.begin(), order.end(), 0);
    const auto& names = model.Directory.EntryNames;
    std::stable_sort(order.begin(), order.end(), [&](std::int32_t a, std::int32_t b) {
        return CompareNamesIgnoringCase(names[a], names[b]) < 0;
    });
    return order;
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
