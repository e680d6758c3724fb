#pragma once

// The texts of the status bar's seven panels for one selected list line. Shared by the window and
// `kelvot-cli info`, so both show the same words.

#include "archive/dat_format.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kelvot {

struct StatusLine {
    std::optional<EntryType> Type;       // nullopt when no entry has the line's name
    std::string_view LineText;           // the list line, Windows-1252 bytes
    std::span<const std::uint8_t> Entry; // the matched entry's bytes (unused without a picture type)
    std::int32_t EntrySize = 0;          // CurrentEntrySize: kept from the last match when none matches
    std::int32_t LineNumber = 0;         // counted from 1
    std::int32_t LineCount = 0;
};

// Panels 1 to 7, UTF-8. A picture whose header fields are not all inside its entry leaves panels 1, 5,
// 6 and 7 empty, as an entry of no picture type does. decimalSeparator is UTF-8 ("." or the user's).
std::array<std::string, 7> StatusPanelTexts(const StatusLine& line, std::string_view decimalSeparator);

// Panel 3: size / 1024 rounded to two decimals, halves to even, no trailing zeros, then " KB".
std::string FormatKilobytes(std::int32_t size, std::string_view decimalSeparator);

} // namespace kelvot
