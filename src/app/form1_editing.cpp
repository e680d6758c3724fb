// Changing archives: create one from a folder, add files, remove entries, rename an entry, import a
// picture into an entry, replace an entry's bytes; and undo, which takes the last of these back.

#include "app/app_support.h"
#include "app/busy_display.h"
#include "app/form1.h"
#include "app/names.h"
#include "app/ui_guards.h"
#include "editing/archive_edit.h"
#include "editing/name_checks.h"
#include "editing/packing.h"
#include "editing/picture_import.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QStatusBar>

namespace kelvot::app {

namespace {

// Asks until the name passes its checks; the accepted name as Windows-1252 bytes, or nothing.
template <class Check>
std::optional<std::string> AskForName(Dialogs& dialogs, QWidget* parent, const QString& title,
                                      const QString& prompt, const QString& suggestion, Check check) {
    for (;;) {
        const QString answer = dialogs.input(parent, title, prompt, suggestion);
        const NameCheck verdict = check(answer.toStdString());
        if (verdict.Verdict == NameVerdict::Accepted) return verdict.Name;
        if (verdict.Verdict == NameVerdict::EndQuietly) return std::nullopt;
        dialogs.message(parent, MessageIcon::Critical, title, QString::fromStdString(verdict.Message));
    }
}

// The editing commands report progress in bytes; the status bar counts in whole units.
EditProgress InKilobytes(const Progress& progress) {
    if (!progress) return {};
    return [progress](std::int64_t done, std::int64_t total) {
        progress(static_cast<std::int32_t>(done >> 10), static_cast<std::int32_t>(total >> 10));
    };
}

} // namespace

void Form1::ShowEditError(const std::exception& error) {
    UpdateUndoItem(); // a failed edit has dropped the step before it
    dialogs_.message(this, MessageIcon::None, kAppTitle,
                     QStringLiteral("The following error occurred:\n") + QString::fromUtf8(error.what()));
}

void Form1::UpdateUndoItem() {
    const bool here = undo_.kind() != UndoKind::NotHere;
    mnuEditUndo->setText(here ? QStringLiteral("&Undo")
                              : QStringLiteral("Undo not available on this file system"));
    mnuEditUndo->setEnabled(undo_.Offered());
}

void Form1::mnuEditUndo_Click() {
    if (undo_.kind() == UndoKind::None || undo_.kind() == UndoKind::NotHere) return;
    const QString line = List1->currentItem() ? List1->currentItem()->text() : QString();
    std::string restored;
    try {
        restored = undo_.Apply();
    } catch (const std::exception& error) {
        UpdateUndoItem();
        dialogs_.message(this, MessageIcon::Critical, QStringLiteral("Undo"),
                         QString::fromUtf8(error.what()));
        return;
    }
    UpdateUndoItem();
    // The archive shown is read again: the undone edit may have been made to it.
    if (!currentArchivePath_.isEmpty()) RefreshAfterEdit(restored.empty() ? line : NameToText(restored));
}

void Form1::mnuFileNew_Click() {
    PackingMode = true;
    BrowseForFolder();
    if (ChosenFolder.isEmpty()) return;
    const auto name =
        AskForName(dialogs_, this, QStringLiteral("New DAT file"),
                   QStringLiteral("Please enter the name you wish to give to your new DAT file.\n\n"
                                  "Note that the name must be 8 characters or less\n"
                                  "and the extension must be .dat or .DAT (don't include path)."),
                   QStringLiteral(".dat"), CheckNewArchiveName);
    if (!name) return;
    try {
        BusyDisplay busy(StatusBar1, QStringLiteral("Creating new DAT file..."));
        undo_.Forget();
        CreateArchive(ToFsPath(ChosenFolder), *name, InKilobytes(busy.progress()), &undo_);
    } catch (const std::exception& error) {
        ShowEditError(error);
    }
    UpdateUndoItem();
    // The archive shown stays as it was; the new one is not opened.
}

bool Form1::AddAllowed() {
    if (Combo1->currentIndex() == static_cast<int>(TypeFilter::All)) return true;
    dialogs_.message(this, MessageIcon::Warning, QStringLiteral("Add Files"),
                     QStringLiteral("Please select the \"All Files\" filter."));
    return false;
}

void Form1::mnuFileAdd_Click() {
    if (!model_ || !AddAllowed()) return;
    AddChosenFiles(
        dialogs_.openFiles(this, QStringLiteral("Add files to DAT"), QStringLiteral("All Files (*)")));
}

void Form1::AddChosenFiles(const QStringList& chosen) {
    std::vector<std::filesystem::path> paths;
    for (const QString& path : chosen)
        paths.push_back(ToFsPath(path));
    const PackCandidates candidates = SelectAddCandidates(paths);
    auto warnAboutLeftOut = [&] {
        if (candidates.LeftOut.empty()) return;
        QString text;
        for (const LeftOutFile& file : candidates.LeftOut)
            text += (text.isEmpty() ? QString() : QStringLiteral("\n")) +
                    QString::fromStdString(file.Describe("added"));
        dialogs_.message(this, MessageIcon::Warning, QStringLiteral("Add Files"), text);
    };
    if (candidates.Packable.empty()) {
        warnAboutLeftOut();
        return;
    }
    try {
        BusyDisplay busy(StatusBar1, QStringLiteral("Adding files..."));
        undo_.Forget();
        const EditLock lock(ToFsPath(currentArchivePath_));
        AddFiles(lock, *model_, candidates.Packable, InKilobytes(busy.progress()), &undo_);
    } catch (const std::exception& error) {
        ClearPreviewAndPanels();
        ShowEditError(error);
        return;
    }
    RefreshAfterEdit(QString());
    warnAboutLeftOut();
}

void Form1::mnuFileRemove_Click() {
    if (!model_) return;
    if (!dialogs_.question(this, QStringLiteral("Confirm file removal"),
                           QStringLiteral("Do you want to remove the selected files from the DAT file?")))
        return;
    const auto selected = List1->selectionModel()->selectedRows().size();
    if (selected == 0) return;
    if (selected == List1->count()) {
        dialogs_.message(this, MessageIcon::Critical, kAppTitle,
                         QStringLiteral("You cannot remove every file in the DAT file."));
        return;
    }
    std::vector<std::int32_t> doomed = SelectedEntries();
    std::sort(doomed.begin(), doomed.end());
    doomed.erase(std::unique(doomed.begin(), doomed.end()), doomed.end());
    try {
        BusyDisplay busy(StatusBar1, QStringLiteral("Removing files..."));
        undo_.Forget();
        const EditLock lock(ToFsPath(currentArchivePath_));
        RemoveEntries(lock, *model_, doomed, InKilobytes(busy.progress()), &undo_);
    } catch (const std::exception& error) {
        ShowEditError(error);
        return;
    }
    RefreshAfterEdit(QString());
}

void Form1::mnuFileRename_Click() {
    if (!model_ || !CurrentEntry || !List1->currentItem()) return;
    if (List1->selectionModel()->selectedRows().size() >= 2) return;
    const std::vector<std::string> listed = ListedNames(*model_, listedFilter_);
    const auto name = AskForName(
        dialogs_, this, QStringLiteral("Rename file"),
        QStringLiteral("Please enter the new filename.\n\nNote that the name must be 8 characters or less\n"
                       "and the extension must be 2 or 3 characters."),
        List1->currentItem()->text(),
        [&](std::string_view typed) { return CheckNewEntryName(typed, listed); });
    if (!name) return;
    try {
        undo_.Forget();
        const EditLock lock(ToFsPath(currentArchivePath_));
        RenameEntry(lock, *model_, model_->Directory.NameFieldOffsets[*CurrentEntry], *name, &undo_);
    } catch (const std::exception& error) {
        ShowEditError(error);
        return;
    }
    RefreshAfterEdit(NameToText(*name));
}

void Form1::mnuFileImport_Click() {
    if (!CurrentIsPicture() || List1->selectionModel()->selectedRows().size() >= 2) return;
    const QString title = QStringLiteral("Import Picture");
    const auto chosen = dialogs_.openFile(
        this, title,
        QStringLiteral(
            "Pictures (*.png *.bmp *.tga *.tif *.tiff *.gif *.jpg *.jpeg *.pcx *.ppm *.pgm *.webp);;"
            "All Files (*)"));
    if (!chosen) return;
    const QString line = List1->currentItem()->text();
    ImportResult result;
    try {
        BusyDisplay busy(StatusBar1, QStringLiteral("Importing picture..."));
        undo_.Forget();
        const EditLock lock(ToFsPath(currentArchivePath_));
        result = ImportPicture(lock, *model_, *CurrentEntry, ToFsPath(chosen->path),
                               ExportSettings(ExportFormat::Png).MaxMegapixels, InKilobytes(busy.progress()),
                               &undo_);
    } catch (const std::exception& error) {
        ShowEditError(error);
        return;
    }
    RefreshAfterEdit(line);
    if (result.ReducedFrom > 0)
        dialogs_.message(this, MessageIcon::None, title,
                         QStringLiteral("%1: reduced %2 colours to 16.").arg(line).arg(result.ReducedFrom));
}

void Form1::mnuFileReplace_Click() {
    if (!model_ || !CurrentEntry || !List1->currentItem()) return;
    if (List1->selectionModel()->selectedRows().size() >= 2) return;
    const auto chosen =
        dialogs_.openFile(this, QStringLiteral("Replace Selected File"), QStringLiteral("All Files (*)"));
    if (!chosen) return;
    const QString line = List1->currentItem()->text();
    try {
        BusyDisplay busy(StatusBar1, QStringLiteral("Replacing file..."));
        undo_.Forget();
        const EditLock lock(ToFsPath(currentArchivePath_));
        ReplaceEntry(lock, *model_, *CurrentEntry, ToFsPath(chosen->path), InKilobytes(busy.progress()),
                     &undo_);
    } catch (const std::exception& error) {
        ShowEditError(error);
        return;
    }
    RefreshAfterEdit(line);
}

void Form1::RefreshAfterEdit(const QString& name) {
    UpdateUndoItem();
    try {
        ReadArchive(currentArchivePath_);
    } catch (const std::exception& error) {
        ClearPreviewAndPanels();
        ShowReadError(error);
        return;
    }
    UpdatesSuspended suspended(this);
    if (!FillList()) {
        ClearPreviewAndPanels();
        setWindowTitle(kAppTitle);
        return;
    }
    int row = 0;
    if (!name.isEmpty()) {
        const auto found = List1->findItems(name, Qt::MatchFixedString); // letter case ignored
        if (!found.isEmpty()) row = List1->row(found.first());
    }
    {
        const QSignalBlocker blocker(List1);
        List1->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    }
    List1->setFocus();
    List1_Click();
}

} // namespace kelvot::app
