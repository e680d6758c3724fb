// The menu bar, the list's pop-up menu, and the small commands that live only in menus.

#include "app/app_support.h"
#include "app/form1.h"
#include "app/settings.h"

#include <QActionGroup>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWindow>

namespace kelvot::app {

void Form1::BuildMenus() {
    mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    connect(mnuFile, &QMenu::aboutToShow, this, &Form1::mnuFile_Click);
    mnuFileNew =
        mnuFile->addAction(QStringLiteral("Create &New DAT file..."), this, &Form1::mnuFileNew_Click);
    mnuFileNew->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    mnuFileOpen = mnuFile->addAction(QStringLiteral("&Open DAT file..."), this, &Form1::Command1_Click);
    mnuFileOpen->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    mnuFile->addSeparator();
    mnuFileSaveAsBMP = mnuFile->addAction(QStringLiteral("&Save Selected Files As BMPs..."), this,
                                          &Form1::mnuFileSaveAsBMP_Click);
    mnuFileSaveAsJPG = mnuFile->addAction(QStringLiteral("Save Selected Files As &JPGs..."), this,
                                          &Form1::mnuFileSaveAsJPG_Click);
    mnuFileSaveAsPNG = mnuFile->addAction(QStringLiteral("Save Selected Files As PN&Gs..."), this,
                                          &Form1::mnuFileSaveAsPNG_Click);
    mnuFileJPEGQuality = mnuFile->addMenu(QStringLiteral("JPEG &Quality"));
    auto* qualities = new QActionGroup(mnuFileJPEGQuality);
    qualities->setExclusive(true);
    for (std::size_t level = 0; level < kJpegQualities.size(); ++level) {
        const JpegQuality quality = kJpegQualities[level];
        const QString word = QString::fromUtf8(JpegQualityWord(quality).data());
        QAction* item = mnuFileJPEGQuality->addAction(QStringLiteral("&") + word, this,
                                                      [this, quality] { SetJpegQuality(quality); });
        item->setCheckable(true);
        qualities->addAction(item);
        mnuFileJPEGQualityItems[level] = item;
    }
    mnuFile->addSeparator();
    mnuFileExtractSelectedFiles = mnuFile->addAction(QStringLiteral("Extract Selected &Files..."), this,
                                                     &Form1::mnuFileExtractSelectedFiles_Click);
    mnuFileExtractAll =
        mnuFile->addAction(QStringLiteral("&Extract All Files..."), this, &Form1::mnuFileExtractAll_Click);
    mnuFile->addSeparator();
    mnuFileAdd = mnuFile->addAction(QStringLiteral("&Add Files..."), this, &Form1::mnuFileAdd_Click);
    mnuFileRemove =
        mnuFile->addAction(QStringLiteral("Re&move Selected Files..."), this, &Form1::mnuFileRemove_Click);
    mnuFileRemove->setShortcut(QKeySequence(Qt::Key_Delete));
    mnuFile->addSeparator();
    mnuFileRename =
        mnuFile->addAction(QStringLiteral("&Rename Selected File..."), this, &Form1::mnuFileRename_Click);
    mnuFileImport =
        mnuFile->addAction(QStringLiteral("&Import Picture..."), this, &Form1::mnuFileImport_Click);
    mnuFileReplace =
        mnuFile->addAction(QStringLiteral("Re&place Selected File..."), this, &Form1::mnuFileReplace_Click);
    mnuFileMRUSep = mnuFile->addSeparator();
    mnuFileMRUSep->setVisible(false);
    mnuFileMRU[0] = nullptr;
    for (int n = 1; n <= RecentArchives::kMaxCount; ++n) {
        mnuFileMRU[n] =
            mnuFile->addAction(QStringLiteral("MRU%1").arg(n), this, [this, n] { mnuFileMRU_Click(n); });
        mnuFileMRU[n]->setVisible(false);
    }
    mnuFile->addSeparator();
    mnuFileExit = mnuFile->addAction(QStringLiteral("E&xit"), this, &Form1::mnuFileExit_Click);

    mnuEdit = menuBar()->addMenu(QStringLiteral("&Edit"));
    connect(mnuEdit, &QMenu::aboutToShow, this, &Form1::mnuEdit_Click);
    mnuEditUndo = mnuEdit->addAction(QStringLiteral("&Undo"), this, &Form1::mnuEditUndo_Click);
    mnuEditUndo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    mnuEditUndo->setEnabled(false);

    // The pop-up menu of the list: each item runs its File-menu twin.
    mnuHidden = new QMenu(QStringLiteral("Hidden"), this);
    auto twin = [this](const QString& caption, QAction* original) {
        return mnuHidden->addAction(caption, original, &QAction::trigger);
    };
    mnuHiddenNew = twin(QStringLiteral("Create &New DAT file..."), mnuFileNew);
    mnuHiddenOpen = twin(QStringLiteral("&Open DAT file..."), mnuFileOpen);
    mnuHidden->addSeparator();
    mnuHiddenSaveAsBMP = twin(QStringLiteral("&Save Selected Files As BMPs..."), mnuFileSaveAsBMP);
    mnuHiddenSaveAsJPG = twin(QStringLiteral("Save Selected Files As &JPGs..."), mnuFileSaveAsJPG);
    mnuHiddenSaveAsPNG = twin(QStringLiteral("Save Selected Files As PN&Gs..."), mnuFileSaveAsPNG);
    mnuHidden->addSeparator();
    mnuHiddenExtractSelectedFiles =
        twin(QStringLiteral("Extract Selected &Files..."), mnuFileExtractSelectedFiles);
    mnuHiddenExtractAll = twin(QStringLiteral("&Extract All Files..."), mnuFileExtractAll);
    mnuHidden->addSeparator();
    mnuHiddenAdd = twin(QStringLiteral("&Add Files..."), mnuFileAdd);
    mnuHiddenRemove = twin(QStringLiteral("Re&move Selected Files..."), mnuFileRemove);
    mnuHidden->addSeparator();
    mnuHiddenRename = twin(QStringLiteral("&Rename Selected File..."), mnuFileRename);
    mnuHiddenImport = twin(QStringLiteral("&Import Picture..."), mnuFileImport);
    mnuHiddenReplace = twin(QStringLiteral("Re&place Selected File..."), mnuFileReplace);

    mnuView = menuBar()->addMenu(QStringLiteral("&View"));
    mnuViewCheckerboard = mnuView->addAction(QStringLiteral("Show Transparency as &Checkerboard"));
    mnuViewCheckerboard->setCheckable(true);
    connect(mnuViewCheckerboard, &QAction::triggered, this, &Form1::mnuViewCheckerboard_Click);
    mnuViewThumbnails =
        mnuView->addAction(QStringLiteral("&Thumbnails"), this, &Form1::mnuViewThumbnails_Click);
    mnuViewThumbnails->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    mnuViewThumbnails->setCheckable(true);

    mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuHelpAbout = mnuHelp->addAction(QStringLiteral("&About Kelvot"), this, &Form1::mnuHelpAbout_Click);
}

// Which commands make sense now: nothing to act on without lines, one entry only for a rename and a
// replace, one picture for an import.
static void ApplyEnablingRule(const QListWidget* list, std::initializer_list<QAction*> listCommands,
                              std::initializer_list<QAction*> oneLine, QAction* import, bool picture) {
    const bool hasLines = list->count() > 0;
    const bool several = list->selectionModel()->selectedRows().size() >= 2;
    for (QAction* command : listCommands)
        command->setEnabled(hasLines);
    for (QAction* command : oneLine)
        command->setEnabled(hasLines && !several);
    import->setEnabled(hasLines && !several && picture);
}

bool Form1::CurrentIsPicture() const {
    return model_ && CurrentEntry && List1->currentItem() &&
           IsPicture(model_->Directory.EntryTypes[*CurrentEntry]);
}

void Form1::mnuFile_Click() {
    ApplyEnablingRule(List1,
                      {mnuFileSaveAsBMP, mnuFileSaveAsJPG, mnuFileSaveAsPNG, mnuFileExtractSelectedFiles,
                       mnuFileExtractAll, mnuFileRemove, mnuFileAdd},
                      {mnuFileRename, mnuFileReplace}, mnuFileImport, CurrentIsPicture());
}

void Form1::mnuEdit_Click() {
    UpdateUndoItem();
}

void Form1::List1_MouseUp(Qt::MouseButton button, const QPoint& globalPosition) {
    if (button != Qt::RightButton) return;
    ApplyEnablingRule(List1,
                      {mnuHiddenSaveAsBMP, mnuHiddenSaveAsJPG, mnuHiddenSaveAsPNG,
                       mnuHiddenExtractSelectedFiles, mnuHiddenExtractAll, mnuHiddenRemove, mnuHiddenAdd},
                      {mnuHiddenRename, mnuHiddenReplace}, mnuHiddenImport, CurrentIsPicture());
    mnuHidden->popup(globalPosition);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    const auto type = event->type();
    // The frame's margins are known only once the window manager has framed the window, some events
    // after it is shown.
    if (watched == windowHandle() && !frameFitted_) FitFrameToLayout();
    if (watched == windowHandle() && type == QEvent::Wheel) {
        const auto* wheel = static_cast<QWheelEvent*>(event);
        if (NormalView || !wheel->modifiers().testFlag(Qt::ControlModifier)) {
            MouseWheel(wheel->angleDelta().y()); // then passed on as usual
        } else {
            // With Ctrl the enlarged view zooms, a step a notch, around the pointer.
            const QPointF at = Pic1->mapFrom(this, wheel->position());
            ZoomWheelDelta += wheel->angleDelta().y();
            for (; std::abs(ZoomWheelDelta) >= 120; ZoomWheelDelta -= ZoomWheelDelta > 0 ? 120 : -120)
                ZoomPicture(NextZoomScale(Pic1->scale(), ZoomWheelDelta), at);
            return true;
        }
    }
    // Enter opens the current line enlarged, as a double click does.
    if ((watched == List1 || watched == Thumbs) && type == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            List1_DblClick();
            return true;
        }
    }
    // Only mouse button events are QMouseEvents; the viewport sees paint, resize and other events too.
    if ((watched == List1->viewport() || watched == Thumbs->viewport()) &&
        (type == QEvent::MouseButtonRelease || type == QEvent::MouseButtonPress ||
         type == QEvent::MouseButtonDblClick)) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (type == QEvent::MouseButtonRelease) {
            List1_MouseUp(mouse->button(), mouse->globalPosition().toPoint());
        } else if (mouse->button() == Qt::RightButton) {
            // The right button raises the pop-up menu for the lines already selected; it selects nothing.
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void Form1::mnuViewThumbnails_Click() {
    const bool thumbnails = mnuViewThumbnails->isChecked();
    OpenSettings()->setValue(kThumbnailsKey, thumbnails);
    if (!NormalView) return; // the enlarged view shows neither; leaving it shows the one chosen
    // Focus given to the list goes to the thumbnails while they stand in its place.
    List1->setFocusProxy(thumbnails ? Thumbs : nullptr);
    List1->setVisible(!thumbnails);
    Thumbs->setVisible(thumbnails);
    if (thumbnails) {
        Thumbs->scrollTo(Thumbs->currentIndex());
        Thumbs->decodeAll();
    }
    List1->setFocus();
}

void Form1::SetJpegQuality(JpegQuality quality) {
    for (std::size_t i = 0; i < kJpegQualities.size(); ++i)
        mnuFileJPEGQualityItems[i]->setChecked(kJpegQualities[i] == quality);
    jpegQuality_ = quality;
}

void Form1::AddRecentArchive(const QString& title, const QString& path) {
    recent_.Add(title, path);
    RefreshRecentMenu();
    recent_.Save(*OpenSettings());
}

void Form1::RefreshRecentMenu() {
    for (int n = 1; n <= recent_.count(); ++n) {
        mnuFileMRU[n]->setText(QStringLiteral("&%1 %2").arg(n).arg(recent_.title(n)));
        mnuFileMRU[n]->setVisible(true);
    }
    mnuFileMRUSep->setVisible(mnuFileMRU[1]->isVisible());
}

void Form1::mnuFileMRU_Click(int index) {
    if (index < 1 || index > recent_.count()) return;
    OpenArchiveByPath(recent_.title(index), recent_.path(index));
}

void Form1::mnuFileExit_Click() {
    close();
}

void Form1::BrowseForFolder() {
    const QString prompt =
        PackingMode ? QStringLiteral("Please select the folder containing the files that you wish to pack.")
                    : QStringLiteral("Please select the destination folder.");
    const QString start =
        currentArchivePath_.isEmpty() ? QDir::currentPath() : QFileInfo(currentArchivePath_).absolutePath();
    ChosenFolder = dialogs_.chooseFolder(this, prompt, start);
}

void Form1::mnuHelpAbout_Click() {
    dialogs_.about(
        this, kAppTitle,
        QStringLiteral("        Kelvot\n\n        Version %1\n\n        Author: Kelvot contributors    ")
            .arg(QStringLiteral(KELVOT_VERSION)),
        ProgramIcon());
}

} // namespace kelvot::app
