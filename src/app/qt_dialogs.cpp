#include "app/qt_dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>

namespace kelvot::app {

std::optional<OpenFileChoice> QtDialogs::openFile(QWidget* parent, const QString& title,
                                                  const QString& filter) {
    QFileDialog dialog(parent, title, QString(), filter);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setDefaultSuffix(QStringLiteral("dat"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    const QString path = dialog.selectedFiles().first();
    return OpenFileChoice{path, QFileInfo(path).fileName()};
}

void QtDialogs::message(QWidget* parent, MessageIcon icon, const QString& title, const QString& text) {
    QMessageBox::Icon qtIcon = QMessageBox::NoIcon;
    switch (icon) {
    case MessageIcon::None:
        break;
    case MessageIcon::Critical:
        qtIcon = QMessageBox::Critical;
        break;
    case MessageIcon::Warning:
        qtIcon = QMessageBox::Warning;
        break;
    case MessageIcon::Question:
        qtIcon = QMessageBox::Question;
        break;
    }
    QMessageBox box(qtIcon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

bool QtDialogs::question(QWidget* parent, const QString& title, const QString& text) {
    return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
           QMessageBox::Yes;
}

QString QtDialogs::input(QWidget* parent, const QString& title, const QString& prompt, const QString& text) {
    bool accepted = false;
    const QString answer = QInputDialog::getText(parent, title, prompt, QLineEdit::Normal, text, &accepted);
    return accepted ? answer : QString();
}

QStringList QtDialogs::openFiles(QWidget* parent, const QString& title, const QString& filter) {
    return QFileDialog::getOpenFileNames(parent, title, QString(), filter);
}

QString QtDialogs::chooseFolder(QWidget* parent, const QString& prompt, const QString& startFolder) {
    return QFileDialog::getExistingDirectory(parent, prompt, startFolder, QFileDialog::ShowDirsOnly);
}

void QtDialogs::about(QWidget* parent, const QString& title, const QString& text, const QPixmap& icon) {
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    box.setIconPixmap(icon);
    box.exec();
}

} // namespace kelvot::app
