#pragma once

#include "app/dialogs.h"

namespace kelvot::app {

class QtDialogs final : public Dialogs {
  public:
    std::optional<OpenFileChoice> openFile(QWidget* parent, const QString& title,
                                           const QString& filter) override;
    void message(QWidget* parent, MessageIcon icon, const QString& title, const QString& text) override;
    bool question(QWidget* parent, const QString& title, const QString& text) override;
    QString input(QWidget* parent, const QString& title, const QString& prompt, const QString& text) override;
    QStringList openFiles(QWidget* parent, const QString& title, const QString& filter) override;
    QString chooseFolder(QWidget* parent, const QString& prompt, const QString& startFolder) override;
    void about(QWidget* parent, const QString& title, const QString& text, const QPixmap& icon) override;
};

} // namespace kelvot::app
