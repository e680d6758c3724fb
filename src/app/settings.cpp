#include "app/settings.h"

namespace kelvot::app {

std::unique_ptr<QSettings> OpenSettings() {
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Kelvot"),
                                       QStringLiteral("Kelvot"));
}

} // namespace kelvot::app
