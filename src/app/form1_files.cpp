// Getting things out of the archive: extraction, and pictures saved as BMP or JPEG files.

#include "app/app_support.h"
#include "app/busy_display.h"
#include "app/form1.h"
#include "app/names.h"
#include "app/settings.h"
#include "archive/extract.h"
#include "export/picture_export.h"

#include <QListWidget>
#include <QStatusBar>

namespace kelvot::app {

std::vector<std::int32_t> Form1::SelectedEntries() const {
    std::vector<std::int32_t> entries;
    if (!model_) return entries;
    auto add = [&](const QListWidgetItem* line) {
        if (const auto index = model_->FindEntryByText(line->text().toStdString())) entries.push_back(*index);
    };
    const int selected = static_cast<int>(List1->selectionModel()->selectedRows().size());
    if (selected == 1 && List1->currentItem()) {
        add(List1->currentItem());
    } else if (selected >= 2) {
        for (int row = 0; row < List1->count(); ++row)
            if (List1->item(row)->isSelected()) add(List1->item(row));
    }
    return entries;
}

ExportOptions Form1::ExportSettings(ExportFormat format) const {
    // "Limits/MaxMegapixels" in the settings store raises or lowers the largest picture an export decodes.
    const qlonglong limit =
        OpenSettings()
            ->value(QStringLiteral("Limits/MaxMegapixels"), qlonglong{kDefaultMaxMegapixels})
            .toLongLong();
    return {format, jpegQuality_, limit > 0 ? limit : kDefaultMaxMegapixels};
}

void Form1::RunOutputCommand(const QString& busyText,
                             const std::function<OutputResult(const Progress&)>& work) {
    OutputResult result;
    try {
        BusyDisplay busy(StatusBar1, busyText);
        result = work(busy.progress());
    } catch (const std::exception& error) {
        dialogs_.message(this, MessageIcon::None, kAppTitle,
                         QStringLiteral("The following error occurred:\n") + QString::fromUtf8(error.what()));
        return;
    }
    if (result.Problems.empty()) return;
    QString text = QStringLiteral("These entries were not written:");
    for (const EntryProblem& problem : result.Problems)
        text += QStringLiteral("\n") + QString::fromUtf8(problem.Description);
    dialogs_.message(this, MessageIcon::Warning, kAppTitle, text);
}

void Form1::mnuFileExtractAll_Click() {
    if (!model_) return; // a shortcut can run before the menu has been opened
    PackingMode = false;
    BrowseForFolder();
    if (ChosenFolder.isEmpty()) return;
    const bool oneSelected = List1->selectionModel()->selectedRows().size() == 1;
    const int remembered = List1->currentRow();
    RunOutputCommand(QStringLiteral("Extracting..."), [&](const Progress& progress) {
        return ExtractEntries(*model_, archiveFile_, AllEntries(*model_), ToFsPath(ChosenFolder), progress);
    });
    if (oneSelected && List1->selectionModel()->selectedRows().size() == 1) {
        {
            const QSignalBlocker blocker(List1);
            List1->setCurrentRow(remembered, QItemSelectionModel::ClearAndSelect);
        }
        List1_Click();
    }
}

void Form1::mnuFileExtractSelectedFiles_Click() {
    if (!model_) return; // a shortcut can run before the menu has been opened
    PackingMode = false;
    BrowseForFolder();
    if (ChosenFolder.isEmpty()) return;
    RunOutputCommand(QStringLiteral("Extracting..."), [&](const Progress& progress) {
        return ExtractEntries(*model_, archiveFile_, SelectedEntries(), ToFsPath(ChosenFolder), progress);
    });
}

void Form1::SavePicturesAs(ExportFormat format, const QString& busyText) {
    if (!model_) return; // a shortcut can run before the menu has been opened
    PackingMode = false;
    BrowseForFolder();
    if (ChosenFolder.isEmpty()) return;
    RunOutputCommand(busyText, [&](const Progress& progress) {
        return ExportPictures(*model_, archiveFile_, SelectedEntries(), ToFsPath(ChosenFolder),
                              ExportSettings(format), progress);
    });
}

void Form1::mnuFileSaveAsBMP_Click() {
    SavePicturesAs(ExportFormat::Bmp, QStringLiteral("Saving files as BMPs..."));
}

void Form1::mnuFileSaveAsJPG_Click() {
    SavePicturesAs(ExportFormat::Jpeg, QStringLiteral("Saving files as JPGs..."));
}

void Form1::mnuFileSaveAsPNG_Click() {
    SavePicturesAs(ExportFormat::Png, QStringLiteral("Saving files as PNGs..."));
}

} // namespace kelvot::app
