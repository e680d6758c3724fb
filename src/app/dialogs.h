#pragma once

// Every dialog the window raises goes through this interface: QtDialogs shows real ones, the window
// tests answer from a script.

#include <QPixmap>
#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

namespace kelvot::app {

enum class MessageIcon { None, Critical, Warning, Question };

struct OpenFileChoice {
    QString path;  // full path
    QString title; // the file's name without its folder
};

class Dialogs {
  public:
    virtual ~Dialogs() = default;
    // Cancel gives nullopt.
    virtual std::optional<OpenFileChoice> openFile(QWidget* parent, const QString& title,
                                                   const QString& filter) = 0;
    virtual void message(QWidget* parent, MessageIcon icon, const QString& title, const QString& text) = 0;
    // A Yes/No question, Yes the default; true for Yes.
    virtual bool question(QWidget* parent, const QString& title, const QString& text) = 0;
    // An input box; cancel gives an empty string.
    virtual QString input(QWidget* parent, const QString& title, const QString& prompt,
                          const QString& text) = 0;
    // Several existing files at once; cancel gives none.
    virtual QStringList openFiles(QWidget* parent, const QString& title, const QString& filter) = 0;
    // A folder picker titled with the prompt, opened on startFolder; cancel gives an empty string.
    virtual QString chooseFolder(QWidget* parent, const QString& prompt, const QString& startFolder) = 0;
    // A message box with the program's own icon and only an OK button.
    virtual void about(QWidget* parent, const QString& title, const QString& text, const QPixmap& icon) = 0;
};

// The title of a message box that has none of its own.
inline const QString kAppTitle = QStringLiteral("Kelvot");

} // namespace kelvot::app
