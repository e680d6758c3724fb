#pragma once

// The checks a typed name must pass before an archive is created or an entry renamed, and the name search
// over the sorted file list. Typed names are UTF-8 text; accepted names are returned as the Windows-1252
// bytes the archive stores. Messages are UTF-8 with their lines joined by "\n".

#include "archive/archive_model.h"
#include "archive/list_order.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kelvot {

enum class NameVerdict {
    Accepted,   // Name holds the name to use
    EndQuietly, // the command ends without a word, as if cancelled
    Refused,    // Message says why; the name is asked for again
};

struct NameCheck {
    NameVerdict Verdict = NameVerdict::EndQuietly;
    std::string Message; // when refused
    std::string Name;    // when accepted: Windows-1252 bytes, 1 to 12 of them
};

// The name of a new archive: empty, or the default ".dat" in any letter case, ends quietly; then the
// extension must be .dat, the name at most 12 characters, free of \ / : * ? " < > |, and writable.
NameCheck CheckNewArchiveName(std::string_view typed);

// The new name of an entry, checked in order: at most 12 characters, a dot, something before the last
// dot, an extension of 2 or 3 characters, none of \ / : * ? " < > |, writable, and no item of the list
// that BSearch finds. `listedNames` are the list's lines in list order.
NameCheck CheckNewEntryName(std::string_view typed, std::span<const std::string> listedNames);

// The index of an item of `sortedNames` (Windows-1252, sorted ignoring letter case the way the file list
// is) whose first key.size() characters equal the key ignoring letter case, or -1. Binary search: with
// several such items, any one of them.
std::int32_t BSearch(std::span<const std::string> sortedNames, std::string_view key);

// The names of the file list's lines, in list order.
std::vector<std::string> ListedNames(const ArchiveModel& model, TypeFilter filter);

// Whether a Windows-1252 name can be written into a name field and read back: 1 to 12 printable
// characters (no control characters).
bool IsWritableEntryName(std::string_view name);

} // namespace kelvot
