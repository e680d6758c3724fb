// Drag and drop: an archive dropped on the window opens, files dropped on the list are added, and lines
// dragged out of the list become files where they are dropped.

#include "app/app_support.h"
#include "app/form1.h"
#include "app/ui_guards.h"
#include "archive/extract.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

namespace kelvot::app {

namespace {

// The local files a drag carries; empty when it carries anything else too.
QStringList DroppedFiles(const QMimeData* data) {
    QStringList files;
    if (!data || !data->hasUrls()) return files;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile()) return {};
        files.append(url.toLocalFile());
    }
    return files;
}

} // namespace

void Form1::dragEnterEvent(QDragEnterEvent* event) {
    // Lines of our own list dropped back on the window would add what was just extracted.
    if (NormalView && event->source() != List1 && !DroppedFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void Form1::dragMoveEvent(QDragMoveEvent* event) {
    if (NormalView && event->source() != List1 && !DroppedFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void Form1::dropEvent(QDropEvent* event) {
    const QStringList files = DroppedFiles(event->mimeData());
    if (!NormalView || event->source() == List1 || files.isEmpty()) return;
    event->acceptProposedAction();
    const QPoint at = List1->mapFrom(this, event->position().toPoint());
    const bool onList = model_ && List1->rect().contains(at);
    // One DAT file anywhere, or one file outside the list, is opened as Open would; files on the list are
    // added to the open archive.
    if (files.size() == 1 &&
        (!onList || QFileInfo(files[0]).suffix().compare("dat", Qt::CaseInsensitive) == 0)) {
        OpenArchiveByPath(QFileInfo(files[0]).fileName(), QFileInfo(files[0]).absoluteFilePath());
    } else if (onList && AddAllowed()) {
        AddChosenFiles(files);
    }
}

QMimeData* Form1::DragOutEntries(const QList<QListWidgetItem*>& lines) {
    if (!model_ || lines.isEmpty()) return nullptr;
    std::vector<std::int32_t> entries;
    for (const QListWidgetItem* line : lines)
        if (const auto index = model_->FindEntryByText(line->text().toStdString())) entries.push_back(*index);
    if (!dragFolder_) dragFolder_.emplace(QDir::temp().filePath(QStringLiteral("kelvot-drag-XXXXXX")));
    if (!dragFolder_->isValid()) return nullptr;
    // A folder for each drag, so files of an earlier one never go with it.
    const QString folder = dragFolder_->filePath(QString::number(++drags_));
    if (!QDir().mkpath(folder)) return nullptr;
    OutputResult written;
    RunOutputCommand(QStringLiteral("Extracting..."), [&](const Progress& progress) {
        written = ExtractEntries(*model_, archiveFile_, entries, ToFsPath(folder), progress);
        return written;
    });
    if (written.Written.empty()) return nullptr;
    QList<QUrl> urls;
    for (const std::filesystem::path& file : written.Written)
        urls.append(QUrl::fromLocalFile(QString::fromStdString(file.string())));
    auto* data = new QMimeData;
    data->setUrls(urls);
    return data;
}

} // namespace kelvot::app
