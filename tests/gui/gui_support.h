#pragma once

// What the window tests share: dialogs answered from a script, settings in a temporary folder, a shown
// window with lines selected by name, and commands run with the check that they left the window settled.

#include "app/dialogs.h"
#include "app/form1.h"
#include "app/settings.h"
#include "archive_builder.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <deque>

namespace kelvot::testkit {

// Answers the window's dialogs from a script and records what they showed.
class ScriptedDialogs final : public app::Dialogs {
  public:
    // Answers, each used once in turn; none left (or an empty one) is a cancel, or No.
    std::deque<QString> openAnswers, folderAnswers, inputAnswers;
    std::deque<QStringList> openFilesAnswers;
    std::deque<bool> questionAnswers;
    // Messages as "[Icon] title: text", questions and the about box as "title: text", folder pickers as
    // "prompt | start folder", and the titles of open and input boxes.
    QStringList messages, questions, folderPrompts, openTitles, inputTitles;
    QString aboutText;
    QPixmap aboutIcon;

    std::optional<app::OpenFileChoice> openFile(QWidget*, const QString& title, const QString&) override {
        openTitles << title;
        const QString path = Next(openAnswers);
        if (path.isEmpty()) return std::nullopt;
        return app::OpenFileChoice{path, QFileInfo(path).fileName()};
    }
    void message(QWidget*, app::MessageIcon icon, const QString& title, const QString& text) override {
        const char* names[] = {"None", "Critical", "Warning", "Question"};
        messages << QStringLiteral("[%1] %2: %3").arg(names[static_cast<int>(icon)], title, text);
    }
    bool question(QWidget*, const QString& title, const QString& text) override {
        questions << title + ": " + text;
        return Next(questionAnswers);
    }
    QString input(QWidget*, const QString& title, const QString&, const QString&) override {
        inputTitles << title;
        return Next(inputAnswers);
    }
    QStringList openFiles(QWidget*, const QString&, const QString&) override {
        return Next(openFilesAnswers);
    }
    QString chooseFolder(QWidget*, const QString& prompt, const QString& startFolder) override {
        folderPrompts << prompt + " | " + startFolder;
        return Next(folderAnswers);
    }
    void about(QWidget*, const QString& title, const QString& text, const QPixmap& icon) override {
        aboutText = title + ": " + text;
        aboutIcon = icon;
    }

  private:
    template <class T> static T Next(std::deque<T>& answers) {
        if (answers.empty()) return T{};
        T answer = std::move(answers.front());
        answers.pop_front();
        return answer;
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

inline QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QStringList FilesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
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
    QStringList lines() const {
        QStringList texts;
        for (int i = 0; i < w.List1->count(); ++i)
            texts << w.List1->item(i)->text();
        return texts;
    }
    // Selects the named lines as a user would, the last one current.
    void select(const QStringList& names) {
        w.List1->clearSelection();
        for (const QString& name : names)
            w.List1->setCurrentItem(w.List1->findItems(name, Qt::MatchFixedString).value(0),
                                    QItemSelectionModel::Select);
    }
    void selectRow(int row) { w.List1->setCurrentRow(row, QItemSelectionModel::ClearAndSelect); }
    QString current() const { return w.List1->currentItem() ? w.List1->currentItem()->text() : QString(); }
    // What a finished command left behind that it should not have; empty when the window is settled.
    QString leftovers() const {
        QStringList found;
        if (w.StatusBar1->font().bold()) found << "bold status bar";
        if (!w.StatusBar1->currentMessage().isEmpty()) found << "status message";
        if (QApplication::overrideCursor()) found << "wait cursor";
        if (!w.updatesEnabled()) found << "drawing suspended";
        return found.join(", ");
    }
    // Runs a command, then fails the test (going on with it) if the window is not settled.
    void run(void (app::Form1::*command)(), const QString& context = {}) {
        (w.*command)();
        QVERIFY2(leftovers().isEmpty(), qPrintable(context + leftovers()));
    }
};

} // namespace kelvot::testkit
