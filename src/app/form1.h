#pragma once

// The main window. It owns the open archive's model and the window state; the core does the work.

#include "app/dialogs.h"
#include "app/picture_box.h"
#include "archive/archive_model.h"
#include "archive/list_order.h"

#include <QMainWindow>
#include <array>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QStatusBar;

namespace kelvot::app {

class Form1 : public QMainWindow {
    Q_OBJECT
  public:
    explicit Form1(Dialogs& dialogs, QWidget* parent = nullptr);

    // Commands, as the window's controls and menus run them.
    void Command1_Click();
    void OpenArchiveByPath(const QString& title, const QString& path);
    void Combo1_Click();
    void List1_Click();
    void Check1_Click();
    void mnuHelpAbout_Click();
    // Asks for a folder (packing or destination, by PackingMode) and leaves the answer in ChosenFolder,
    // empty when the user cancels.
    void BrowseForFolder();

    // The open archive (nullptr before one is opened) and its path.
    const ArchiveModel* archive() const { return model_ ? &*model_ : nullptr; }
    const QString& currentArchivePath() const { return currentArchivePath_; }
    const QString& jpegQuality() const { return jpegQuality_; }

    // Controls, named as the rest of the program refers to them.
    QPushButton* Command1;
    QLabel* Label1;
    QComboBox* Combo1;
    QLabel* Label2;
    QCheckBox* Check1;
    PictureBox* Pic1;
    PictureBox* Pic2;
    QListWidget* List1;
    QStatusBar* StatusBar1;
    std::array<QLabel*, 7> Panels;

    bool PackingMode = false;
    QString ChosenFolder;

  signals:
    // An archive was opened and listed; the recent-archives list follows this.
    void archiveOpened(const QString& title, const QString& path);

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void Form_Initialize();
    void Form_Load();
    void Form_Activate();
    void Form_Unload();

    // Loads path; on failure tells the user and leaves everything as it was.
    void OpenArchive(const QString& title, const QString& path);
    void ShowLoadedArchive(const QString& title, const QString& path);
    // Refills List1 with the current filter's lines; false when none are left.
    bool FillList();
    void SelectFirstLine();
    void ClearPreviewAndPanels();
    TypeFilter CurrentFilter() const;
    void ShowReadError(const std::exception& error);
    // Finds the entry of List1's current line and makes it the current entry; nullopt when none has
    // that name (the current entry then stays as it was).
    std::optional<std::int32_t> ResolveCurrentLine();

    Dialogs& dialogs_;
    bool activated_ = false;
    QString jpegQuality_;
    QString currentArchivePath_;
    std::optional<ArchiveModel> model_;
    TypeFilter listedFilter_ = kInitialFilter;

    // The entry the last selection resolved; commands act on it.
    std::int32_t CurrentEntryOffset = 0;
    std::int32_t CurrentEntrySize = 0;
    std::int32_t SelectedNameFieldOffset = 0;
    QString SelectedName;
};

} // namespace kelvot::app
