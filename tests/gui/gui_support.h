#pragma once

// Dialogs answered from a script, settings in a temporary folder, and a shown window whose every command,
// selection and filter change is followed by the check that it left the window settled.

#include "app/dialogs.h"
#include "app/form1.h"
#include "app/settings.h"
#include "archive_builder.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

namespace kelvot::testkit {

// Records in order what each dialog showed: "open title", "files title", "folder prompt | start folder",
// "input title", "ask title: text", messages as "[Icon] title: text", "about title: text". Each dialog
// that asks takes the next answer (a file, files one a line, a folder, a text, any text for Yes); an
// empty one, or none left, is a cancel or No.
class ScriptedDialogs final : public app::Dialogs {
  public:
    QStringList answers, shown;
    QPixmap aboutIcon;

    QStringList messages() const { return shown.filter(QRegularExpression("^\\[")); }

    std::optional<app::OpenFileChoice> openFile(QWidget*, const QString& title, const QString&) override {
        const QString path = Next("open " + title);
        if (path.isEmpty()) return std::nullopt;
        return app::OpenFileChoice{path, QFileInfo(path).fileName()};
    }
    QStringList openFiles(QWidget*, const QString& title, const QString&) override {
        return Next("files " + title).split('\n', Qt::SkipEmptyParts);
    }
    QString chooseFolder(QWidget*, const QString& prompt, const QString& start) override {
        return Next("folder " + prompt + " | " + start);
    }
    QString input(QWidget*, const QString& title, const QString&, const QString&) override {
        return Next("input " + title);
    }
    bool question(QWidget*, const QString& title, const QString& text) override {
        return !Next("ask " + title + ": " + text).isEmpty();
    }
    void message(QWidget*, app::MessageIcon icon, const QString& title, const QString& text) override {
        const char* names[] = {"None", "Critical", "Warning", "Question"};
        shown << QStringLiteral("[%1] %2: %3").arg(names[static_cast<int>(icon)], title, text);
    }
    void about(QWidget*, const QString& title, const QString& text, const QPixmap& icon) override {
        shown << "about " + title + ": " + text;
        aboutIcon = icon;
    }

  private:
    QString Next(const QString& what) {
        shown << what;
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
};

inline constexpr int kAllFiles = 5; // the filter's last choice

// Points QSettings at a temporary folder of the test program's own, never the user's settings.
inline bool UseTemporarySettings() {
    static QTemporaryDir dir;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
    return true;
}

inline QString WriteArchive(const QString& path, const std::vector<TestEntry>& entries) {
    WriteFile(path.toStdString(), BuildArchive(entries));
    return path;
}

inline QString FilesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name).join(' ');
}

// A shown window, with the filter set (before opening) and the archive at path opened when given.
struct Window {
    bool temporarySettings = UseTemporarySettings(); // before the window reads them
    ScriptedDialogs d;
    app::Form1 w{d};
    explicit Window(const QString& path = {}, int filter = -1) {
        w.show();
        if (filter >= 0) w.Combo1->setCurrentIndex(filter);
        if (!path.isEmpty()) w.OpenArchiveByPath(QFileInfo(path).fileName(), path);
    }
    // The list's lines, the current one marked with a star.
    QString lines() const {
        QStringList texts;
        for (int i = 0; i < w.List1->count(); ++i)
            texts << w.List1->item(i)->text() + (i == w.List1->currentRow() ? "*" : "");
        return texts.join(' ');
    }
    QString current() const { return w.List1->currentItem() ? w.List1->currentItem()->text() : QString(); }
    // Selects the named lines as a user would, the last one current.
    void select(const QStringList& names) {
        w.List1->clearSelection();
        for (const QString& name : names)
            w.List1->setCurrentItem(w.List1->findItems(name, Qt::MatchFixedString).value(0),
                                    QItemSelectionModel::Select);
        settled(names.join(' ') + ": ");
    }
    void selectRow(int row, const QString& context = {}) {
        w.List1->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
        settled(context);
    }
    void filter(int index) {
        w.Combo1->setCurrentIndex(index);
        settled(w.Combo1->currentText() + ": ");
    }
    void run(void (app::Form1::*command)(), const QString& context = {}) {
        (w.*command)();
        settled(context);
    }
    // Fails the test, going on with it, on a busy display, a wait cursor or drawing left suspended.
    void settled(const QString& context) const {
        QStringList found;
        if (w.StatusBar1->font().bold()) found << "bold status bar";
        if (!w.StatusBar1->currentMessage().isEmpty()) found << "status message";
        if (QApplication::overrideCursor()) found << "wait cursor";
        if (!w.updatesEnabled()) found << "drawing suspended";
        QVERIFY2(found.isEmpty(), qPrintable(context + found.join(", ")));
    }
};

} // namespace kelvot::testkit
