#pragma once

// Small pieces the window's files share.

#include <QPixmap>
#include <QString>
#include <array>
#include <filesystem>

namespace kelvot::app {

// The program's own 48 x 48 icon.
QPixmap ProgramIcon();
// A path as the file system spells it.
std::filesystem::path ToFsPath(const QString& path);

// The JPEG quality levels as stored and as the menu shows them, best first.
inline const std::array<QString, 5> kQualityWords = {QStringLiteral("Superb"), QStringLiteral("Good"),
                                                     QStringLiteral("Normal"), QStringLiteral("Average"),
                                                     QStringLiteral("Bad")};

} // namespace kelvot::app
