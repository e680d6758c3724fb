#include "app/form1.h"
#include "app/qt_dialogs.h"

#include <QApplication>
#include <QFileInfo>
#include <csignal>

int main(int argc, char** argv) {
    // A write past `ulimit -f` fails with EFBIG and is reported, instead of killing the window.
    std::signal(SIGXFSZ, SIG_IGN);
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
