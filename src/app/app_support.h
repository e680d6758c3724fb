#pragma once

// Small pieces the window's files share.

#include <QPixmap>
#include <QString>
#include <filesystem>

namespace kelvot::app {

// The program's own 48 x 48 icon.
QPixmap ProgramIcon();
// A path as the file system spells it.
std::filesystem::path ToFsPath(const QString& path);

} // namespace kelvot::app
