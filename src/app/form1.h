#pragma once

// The main window. It owns the open archive's model and the window state; the core does the work.

#include "app/dialogs.h"
#include "app/entry_list.h"
#include "app/picture_box.h"
#include "app/recent_archives.h"
#include "app/thumbnail_view.h"
#include "app/window_layout.h"
#include "archive/archive_model.h"
#include "archive/list_order.h"
#include "archive/output_result.h"
#include "editing/undo.h"
#include "export/jpeg_export.h"
#include "export/picture_export.h"

#include <QMainWindow>
#include <QPointF>
#include <QStringList>
#include <QTemporaryDir>
#include <array>
#include <functional>
#include <optional>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
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
    void Text1_Change();
    void mnuHelpAbout_Click();
    void mnuViewThumbnails_Click();
    void mnuFile_Click();
    void mnuFileMRU_Click(int index);
    void mnuFileExit_Click();
    void mnuFileExtractAll_Click();
    void mnuFileExtractSelectedFiles_Click();
    void mnuFileSaveAsBMP_Click();
    void mnuFileSaveAsJPG_Click();
    void mnuFileSaveAsPNG_Click();
    void mnuFileNew_Click();
    void mnuFileAdd_Click();
    void mnuFileRemove_Click();
    void mnuFileRename_Click();
    void mnuFileImport_Click();
    void mnuFileReplace_Click();
    void mnuEdit_Click();
    void mnuEditUndo_Click();
    // Asks for a folder (packing or destination, by PackingMode) and leaves the answer in ChosenFolder,
    // empty when the user cancels.
    void BrowseForFolder();

    // The enlarged view.
    void Pic1_Click();
    void List1_DblClick();
    void Pic1_KeyDown(int key, Qt::KeyboardModifiers modifiers);
    void Pic1_MouseDown(Qt::MouseButton button);
    void List1_MouseUp(Qt::MouseButton button, const QPoint& globalPosition);
    bool normalView() const { return NormalView; }

    // The open archive's directory (nullptr before one is opened) and its path.
    const ArchiveModel* archive() const { return model_ ? &*model_ : nullptr; }
    const QString& currentArchivePath() const { return currentArchivePath_; }
    JpegQuality jpegQuality() const { return jpegQuality_; }
    const RecentArchives& recentArchives() const { return recent_; }

    // Controls, named as the rest of the program refers to them.
    QPushButton* Command1;
    QLabel* Label1;
    QComboBox* Combo1;
    QLabel* Label2;
    QCheckBox* Check1;
    PictureBox* Pic1;
    PictureBox* Pic2;
    QLineEdit* Text1; // the name filter
    EntryList* List1;
    ThumbnailView* Thumbs; // the list as thumbnails, shown in its place when View > Thumbnails is ticked
    QStatusBar* StatusBar1;
    std::array<QLabel*, 7> Panels;

    // Menus: the File menu, Edit, the list's pop-up menu (mnuHidden) and Help.
    QMenu* mnuFile;
    QAction *mnuFileNew, *mnuFileOpen, *mnuFileSaveAsBMP, *mnuFileSaveAsJPG, *mnuFileSaveAsPNG;
    QMenu* mnuFileJPEGQuality;
    std::array<QAction*, 5> mnuFileJPEGQualityItems; // Superb, Good, Normal, Average, Bad
    QAction *mnuFileExtractSelectedFiles, *mnuFileExtractAll, *mnuFileAdd, *mnuFileRemove, *mnuFileRename,
        *mnuFileImport, *mnuFileReplace;
    QAction* mnuFileMRUSep;
    std::array<QAction*, RecentArchives::kMaxCount + 1> mnuFileMRU; // 1 to 4; 0 unused
    QAction* mnuFileExit;
    // The Edit menu: Undo takes back the last edit made in this window.
    QMenu* mnuEdit;
    QAction* mnuEditUndo;
    QMenu* mnuHidden;
    QAction *mnuHiddenNew, *mnuHiddenOpen, *mnuHiddenSaveAsBMP, *mnuHiddenSaveAsJPG, *mnuHiddenSaveAsPNG,
        *mnuHiddenExtractSelectedFiles, *mnuHiddenExtractAll, *mnuHiddenAdd, *mnuHiddenRemove,
        *mnuHiddenRename, *mnuHiddenImport, *mnuHiddenReplace;
    QMenu* mnuView;
    QAction* mnuViewThumbnails;
    QAction* mnuViewCheckerboard;
    QMenu* mnuHelp;
    QAction* mnuHelpAbout;

    bool PackingMode = false;
    QString ChosenFolder;

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Form_Initialize();
    void Form_Load();
    void Form_Activate();
    void Form_Unload();
    void BuildMenus();
    void ApplyLayout();
    // The layout's window box is the frame's: once the frame's margins are known, the client area is what
    // is left inside it.
    void FitFrameToLayout();
    // Below the size at which each control shows all it holds (as far as it does at start), the window
    // stays at that size rather than cut them.
    void KeepControlsWhole();

    // Loads path; on failure tells the user and leaves everything as it was.
    void OpenArchive(const QString& title, const QString& path);
    // Reads the archive's directory and keeps the file open for reading its entries; throws and leaves the
    // open archive as it was when it cannot.
    void ReadArchive(const QString& path);
    // What the preview and the status bar read of an entry: a picture's header and the bytes its picture
    // takes, nothing of any other entry. Empty when the file cannot be read.
    std::vector<std::uint8_t> ShownBytes(std::int32_t index) const;
    // The current entry's kind and shown bytes, when it holds a picture that can be shown.
    std::optional<std::pair<PictureKind, std::vector<std::uint8_t>>> CurrentPicture() const;
    void ShowLoadedArchive(const QString& title, const QString& path);
    // Refills List1 with the current filters' lines; false when none are left.
    bool FillList();
    // Refills List1 with the type filter's lines of the last read whose names the name filter keeps; false
    // when none are left.
    bool FillNamedLines();
    // Fills List1 and shows its first line, or the program's name in the caption when no line is left.
    void ShowList();
    void SelectFirstLine();
    void ClearPreviewAndPanels();
    TypeFilter CurrentFilter() const;
    void ShowReadError(const std::exception& error);
    // Finds the entry of List1's current line and makes it the current entry; nullopt when none has
    // that name (the current entry then stays as it was).
    std::optional<std::int32_t> ResolveCurrentLine();

    void AddRecentArchive(const QString& title, const QString& path);
    void RefreshRecentMenu();
    void SetJpegQuality(JpegQuality quality);

    // The first entry of each selected line's name: the current line when one is selected, else every
    // selected line in list order.
    std::vector<std::int32_t> SelectedEntries() const;
    // Whether the current line's entry is a picture (for Import Picture).
    bool CurrentIsPicture() const;
    // What an export of pictures in this format is told: the JPEG quality and the picture size limit.
    ExportOptions ExportSettings(ExportFormat format) const;
    // Save As for one format: the folder picker, then the export under the busy display.
    void SavePicturesAs(ExportFormat format, const QString& busyText);
    // Runs a command that writes files into a folder, under the busy display, and reports what it left out.
    void RunOutputCommand(const QString& busyText, const std::function<OutputResult(const Progress&)>& work);

    // After an edit: reads the archive again, refills the list and selects the line of `name` (the first
    // line when empty).
    void RefreshAfterEdit(const QString& name);
    // Add's check of the filter: false, after telling the user, when "All Files" is not selected.
    bool AddAllowed();
    // Adds the files (Add's rules, checks and messages), as chosen in the dialog or dropped on the list.
    void AddChosenFiles(const QStringList& chosen);
    // The files for a drag of these lines out of the list: the entries extracted into a folder of their
    // own, which lives until the window closes; nullptr when nothing could be extracted.
    QMimeData* DragOutEntries(const QList<QListWidgetItem*>& lines);
    void ShowEditError(const std::exception& error);
    // Undo's item: offered while the archive is as the last edit left it.
    void UpdateUndoItem();

    // The enlarged view.
    void EnterEnlargedView();
    void LeaveEnlargedView();
    void ShowNormalLayout();
    enum class Step { Next, Previous, First, Last };
    void StepTo(Step step);
    void MouseWheel(int distance);
    void mnuViewCheckerboard_Click();
    // The entry drawn in Pic1, and its mask in Pic2 when ticked in the normal view, from shownPicture_.
    void DrawShownPicture();
    // The enlarged view's zoom: to `scale` around `at` in Pic1, else the pointer, or the box's middle
    // when the pointer is elsewhere.
    void ZoomPicture(double scale, std::optional<QPointF> at = std::nullopt);

    Dialogs& dialogs_;
    bool activated_ = false;
    JpegQuality jpegQuality_ = kDefaultJpegQuality;
    QString currentArchivePath_;
    std::optional<ArchiveModel> model_;
    FileHandle archiveFile_; // the file model_ was read from, open for reading its entries
    TypeFilter listedFilter_ = kInitialFilter;
    // Directory indices: the type filter's lines, sorted once a read, and the lines List1 shows of them.
    std::vector<std::int32_t> typeLines_, shownLines_;
    QStringList typeTexts_; // the text of each of typeLines_
    RecentArchives recent_;
    std::optional<QTemporaryDir> dragFolder_; // where dragged entries are extracted, made at the first drag
    int drags_ = 0;
    WindowLayout startLayout_; // as laid out at start-up; resizing scales it
    bool NormalView = true;
    int WheelDelta = 0;
    int ZoomWheelDelta = 0;
    QMargins frameMargins_; // the frame's margins the window was last fitted to
    bool frameFitted_ = false;
    QSize minimumFrame_; // below it, the controls would be cut
    // The entry shown in the boxes, kept to draw it again at another size or zoom without reading it again.
    std::optional<std::pair<PictureKind, std::vector<std::uint8_t>>> shownPicture_;

    // The entry the last selection resolved; commands act on it. CurrentEntrySize outlives a line that
    // matches no entry, as the status bar shows it.
    std::optional<std::int32_t> CurrentEntry;
    std::int32_t CurrentEntrySize = 0;
    QString SelectedName;

    // The last edit made in this window, until the next edit, another archive or the window's end.
    UndoStep undo_;
};

} // namespace kelvot::app
