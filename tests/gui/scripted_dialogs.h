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
