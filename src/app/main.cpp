#include "app/form1.h"
#include "app/qt_dialogs.h"

#include <QApplication>
#include <QFileInfo>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelvot"));
    QApplication::setApplicationVersion(QStringLiteral(KELVOT_VERSION));

    kelvot::app::QtDialogs dialogs;
    kelvot::app::Form1 window(dialogs);
    window.show();
    // kelvot ARCHIVE: open that archive at once.
    const QStringList args = QApplication::arguments();
    if (args.size() > 1) {
        const QFileInfo archive(args.at(1));
        window.OpenArchiveByPath(archive.fileName(), archive.absoluteFilePath());
    }
    return QApplication::exec();
}
