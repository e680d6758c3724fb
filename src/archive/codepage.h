#pragma once

// Entry names are stored as Windows-1252 bytes; the window and the command line show them as text.
// Every name in the core is kept as its Windows-1252 bytes; these functions cross to and from UTF-8.

#include <optional>
#include <string>
#include <string_view>

namespace kelvot {

char32_t Cp1252ToUnicode(unsigned char byte);
std::string Cp1252ToUtf8(std::string_view bytes);
// The name as text fit for a terminal or a message: UTF-8 with each control character (see
// HasControlCharacter) written as \xHH, so a name can neither drive a terminal nor break a line.
std::string PrintableName(std::string_view bytes);
// nullopt when the text is not valid UTF-8 or holds a character Windows-1252 cannot write.
std::optional<std::string> Utf8ToCp1252(std::string_view utf8);

// Letter case is ignored the way a user reads the names: each character folded to lower case.
unsigned char FoldCase(unsigned char byte);
std::string FoldName(std::string_view name);
bool NamesEqualIgnoringCase(std::string_view a, std::string_view b);
// <0, 0, >0: the names folded to lower case, compared character by character by their Unicode values.
int CompareNamesIgnoringCase(std::string_view a, std::string_view b);

} // namespace kelvot
