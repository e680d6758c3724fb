#pragma once

// Dialogs for the window benchmarks: nothing is asked, and a message ends the program, as it means the
// benchmark did not measure what it claims.

#include "app/dialogs.h"

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

} // namespace kelvot::bench
