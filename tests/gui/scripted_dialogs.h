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
};
