#pragma once

// What the window benchmarks share: dialogs that ask nothing (a message ends the program, as it means the
// benchmark did not measure what it claims), and the program around the benchmarks.

#include "app/dialogs.h"
#include "temp_folder.h"

#include <QApplication>
#include <QSettings>
#include <benchmark/benchmark.h>

namespace kelvot::bench {

class NoDialogs final : public app::Dialogs {
  public:
    std::optional<app::OpenFileChoice> openFile(QWidget*, const QString&, const QString&) override {
        return {};
    }
    void message(QWidget*, app::MessageIcon, const QString&, const QString& text) override {
        qFatal("unexpected message: %s", qPrintable(text));
    }
    QString chooseFolder(QWidget*, const QString&, const QString&) override { return {}; }
    bool question(QWidget*, const QString&, const QString&) override { return false; }
    QString input(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
    QStringList openFiles(QWidget*, const QString&, const QString&) override { return {}; }
    void about(QWidget*, const QString&, const QString&, const QPixmap&) override {}
};

// Runs the benchmarks of the program in a QApplication, the window's settings in a folder of the run's
// own, never the user's.
inline int RunWindowBenchmarks(int argc, char** argv) {
    const testkit::TempFolder settings;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QString::fromStdString(settings.path().string()));
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace kelvot::bench
