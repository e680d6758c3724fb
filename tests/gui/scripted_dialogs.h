#pragma once

// Answers the window's dialogs from a script and records every message shown.

#include "app/dialogs.h"

#include <QFileInfo>
#include <QList>
#include <QString>
#include <deque>

struct ShownMessage {
    kelvot::app::MessageIcon icon;
    QString title, text;
};

class ScriptedDialogs final : public kelvot::app::Dialogs {
  public:
    // Paths the open dialog answers with, in turn; an empty path or none left is a cancel.
    std::deque<QString> openAnswers;
    QList<ShownMessage> messages;
    QList<QString> openTitles;
    // Folders the picker answers with, in turn; an empty one or none left is a cancel.
    std::deque<QString> folderAnswers;
    QList<QPair<QString, QString>> folderPrompts; // prompt, start folder
    QList<ShownMessage> abouts;
    // Answers of the question box (true: Yes), of input boxes (empty: cancel) and of the multi-file dialog.
    std::deque<bool> questionAnswers;
    std::deque<QString> inputAnswers;
    std::deque<QStringList> openFilesAnswers;
    QList<ShownMessage> questions, inputs; // inputs: title and prompt
    QPixmap aboutIcon;

    std::optional<kelvot::app::OpenFileChoice> openFile(QWidget*, const QString& title,
                                                        const QString&) override {
        openTitles.append(title);
        const QString path = openAnswers.empty() ? QString() : openAnswers.front();
        if (!openAnswers.empty()) openAnswers.pop_front();
        if (path.isEmpty()) return std::nullopt;
        return kelvot::app::OpenFileChoice{path, QFileInfo(path).fileName()};
    }
    void message(QWidget*, kelvot::app::MessageIcon icon, const QString& title,
                 const QString& text) override {
        messages.append({icon, title, text});
    }
    bool question(QWidget*, const QString& title, const QString& text) override {
        questions.append({kelvot::app::MessageIcon::Question, title, text});
        if (questionAnswers.empty()) return false;
        const bool yes = questionAnswers.front();
        questionAnswers.pop_front();
        return yes;
    }
    QString input(QWidget*, const QString& title, const QString& prompt, const QString&) override {
        inputs.append({kelvot::app::MessageIcon::None, title, prompt});
        if (inputAnswers.empty()) return {};
        const QString answer = inputAnswers.front();
        inputAnswers.pop_front();
        return answer;
    }
    QStringList openFiles(QWidget*, const QString&, const QString&) override {
        if (openFilesAnswers.empty()) return {};
        const QStringList files = openFilesAnswers.front();
        openFilesAnswers.pop_front();
        return files;
    }
    QString chooseFolder(QWidget*, const QString& prompt, const QString& startFolder) override {
        folderPrompts.append({prompt, startFolder});
        if (folderAnswers.empty()) return {};
        const QString folder = folderAnswers.front();
        folderAnswers.pop_front();
        return folder;
    }
    void about(QWidget*, const QString& title, const QString& text, const QPixmap& icon) override {
        abouts.append({kelvot::app::MessageIcon::None, title, text});
        aboutIcon = icon;
    }
};
