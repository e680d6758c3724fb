#pragma once

#include <QSettings>
#include <memory>

namespace kelvot::app {

// The per-user settings of Kelvot ("JPEGQuality/JPGQuality", "MRU/TitleN", "MRU/FileN"). Tests move the
// store with QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder).
std::unique_ptr<QSettings> OpenSettings();

} // namespace kelvot::app
