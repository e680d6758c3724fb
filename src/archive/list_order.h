#pragma once

// What the file list shows: every entry's name, sorted with letter case ignored (names equal that way
// keep directory order), less the names whose type the filter does not want.

#include "archive/archive_model.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kelvot {

// In the order of the window's filter choices.
enum class TypeFilter : int { ThreeDO = 0, MIP = 1, PBF = 2, SRB = 3, AllImages = 4, All = 5 };

inline constexpr TypeFilter kInitialFilter = TypeFilter::AllImages;
inline constexpr std::array<TypeFilter, 6> kTypeFilters = {TypeFilter::ThreeDO,   TypeFilter::MIP,
                                                           TypeFilter::PBF,       TypeFilter::SRB,
                                                           TypeFilter::AllImages, TypeFilter::All};

bool FilterKeeps(TypeFilter filter, EntryType type);
// The command line's word: "3do", "mip", "pbf", "srb", "images" or "all".
std::string_view TypeFilterWord(TypeFilter filter);
// The filter of a word, letter case ignored; nullopt for any other text.
std::optional<TypeFilter> ParseTypeFilter(std::string_view word);

// Indices into `names` in list order: sorted ignoring letter case, equal names in their given order.
std::vector<std::int32_t> SortedNameOrder(std::span<const std::string> names);
// Directory indices of all entries in list order.
std::vector<std::int32_t> SortedEntries(const ArchiveModel& model);
// Keeps the indices whose name stands for a type the filter wants; the type of a name is the type of
// the first entry of that name.
std::vector<std::int32_t> ApplyTypeFilter(const ArchiveModel& model, std::vector<std::int32_t> indices,
                                          TypeFilter filter);
// The list's lines as directory indices: sorted, then filtered.
std::vector<std::int32_t> ListedEntries(const ArchiveModel& model, TypeFilter filter);

} // namespace kelvot
