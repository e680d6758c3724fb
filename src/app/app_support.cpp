#include "app/app_support.h"

#include <QFile>

// The icon lives in the app library's resources, which a static library must register itself.
static void InitResources() {
    Q_INIT_RESOURCE(kelvot);
}

namespace kelvot::app {

QPixmap ProgramIcon() {
    InitResources();
    return QPixmap(QStringLiteral(":/kelvot/kelvot48.xpm"));
}

std::filesystem::path ToFsPath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

} // namespace kelvot::app
