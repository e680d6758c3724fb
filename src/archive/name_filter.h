#pragma once

// The list's name filter: a pattern keeps the names that hold its text or, when it has a * or a ?, the
// names it matches whole as a wildcard (* any run of characters, ? one). Letter case is ignored as the
// list's order ignores it.

#include "archive/archive_model.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kelvot {

// A pattern folded once, so that each name costs one pass.
struct NamePattern {
    std::string Folded; // Windows-1252 bytes, each folded to lower case
    bool Wildcard = false;
    bool Unwritable = false; // text Windows-1252 cannot write: no name holds it
};

// The pattern of text typed as UTF-8. An empty text keeps every name.
NamePattern ParseNamePattern(std::string_view utf8);
bool NameMatches(const NamePattern& pattern, std::string_view name);
// Keeps the indices (list lines, say) whose name the pattern keeps, in their order.
std::vector<std::int32_t> ApplyNameFilter(const ArchiveModel& model, std::vector<std::int32_t> indices,
                                          std::string_view patternUtf8);

} // namespace kelvot
