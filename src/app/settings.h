#pragma once

#include <QSettings>
#include <memory>

namespace kelvot::app {

// The per-user settings of Kelvot ("JPEGQuality/JPGQuality", "MRU/TitleN", "MRU/FileN",
// "Limits/MaxMegapixels", kCheckerboardKey and kThumbnailsKey). Tests move the store with
// QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder).
std::unique_ptr<QSettings> OpenSettings();

// Whether pictures are drawn over a checkerboard where they are transparent; off unless chosen.
inline const QString kCheckerboardKey = QStringLiteral("View/Checkerboard");
// Whether the list is shown as thumbnails; off unless chosen.
inline const QString kThumbnailsKey = QStringLiteral("View/Thumbnails");

} // namespace kelvot::app
