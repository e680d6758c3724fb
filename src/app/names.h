#pragma once

// Entry names are Windows-1252 bytes in the core and text in the window.

#include <QString>
#include <optional>
#include <string>
#include <string_view>

namespace kelvot::app {

QString NameToText(std::string_view name);
// nullopt when the text holds a character Windows-1252 cannot write.
std::optional<std::string> TextToName(const QString& text);

} // namespace kelvot::app
