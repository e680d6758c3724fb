#include "app/thumbnail_view.h"

#include "app/preview.h"
#include "images/picture_layout.h"

#include <QApplication>
#include <QListWidget>
#include <QPainter>
#include <QStyledItemDelegate>

namespace kelvot::app {

// A picture larger than this is shown as a plain icon: decoding it would take far more than a thumbnail.
constexpr std::int64_t kThumbnailMaxPixels = 16'000'000;

// One cell of the grid: the thumbnail centred in its box, or a plain icon, with the name under it.
class ThumbnailDelegate : public QStyledItemDelegate {
  public:
    explicit ThumbnailDelegate(ThumbnailView* view) : QStyledItemDelegate(view), view_(view) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
        return {ThumbnailView::kThumbnailSize + 16,
                ThumbnailView::kThumbnailSize + option.fontMetrics.height() + 14};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem cell = option;
        initStyleOption(&cell, index);
        const QStyle* style = cell.widget ? cell.widget->style() : QApplication::style();
        cell.text.clear();
        style->drawPrimitive(QStyle::PE_PanelItemViewItem, &cell, painter, cell.widget);

        const int size = ThumbnailView::kThumbnailSize;
        const QRect box(option.rect.left() + (option.rect.width() - size) / 2, option.rect.top() + 4, size,
                        size);
        const std::optional<QImage> thumbnail = view_->thumbnail(index.row());
        if (!thumbnail) {
            view_->Request(view_->EntryOf(index.row()), 1); // on screen: before the rest
            painter->setPen(option.palette.color(QPalette::Mid));
            painter->drawRect(box.adjusted(8, 8, -9, -9));
        } else if (thumbnail->isNull()) {
            const QIcon icon = style->standardIcon(QStyle::SP_FileIcon, nullptr, cell.widget);
            icon.paint(painter, box.adjusted(16, 16, -16, -16));
        } else {
            const QSize shown = thumbnail->size().scaled(box.size(), Qt::KeepAspectRatio);
            painter->drawImage(QRect(box.center() - QPoint(shown.width() / 2, shown.height() / 2), shown),
                               *thumbnail);
        }
        const QRect text(option.rect.left() + 2, box.bottom() + 4, option.rect.width() - 4,
                         option.fontMetrics.height());
        painter->setPen(option.palette.color(option.state & QStyle::State_Selected ? QPalette::HighlightedText
                                                                                   : QPalette::Text));
        painter->drawText(
            text, Qt::AlignHCenter,
            option.fontMetrics.elidedText(index.data().toString(), Qt::ElideMiddle, text.width()));
    }

  private:
    ThumbnailView* view_;
};

ThumbnailView::ThumbnailView(QListWidget* list, QWidget* parent) : QListView(parent), list_(list) {
    setViewMode(QListView::IconMode);
    setResizeMode(QListView::Adjust);
    setMovement(QListView::Static);
    setUniformItemSizes(true);
    setLayoutMode(QListView::Batched); // tens of thousands of cells are laid out a batch at a time
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSpacing(2);
    setItemDelegate(new ThumbnailDelegate(this));
    setModel(list->model());
    setSelectionModel(list->selectionModel());
    cache_.setMaxCost(kCacheBytes);
}

ThumbnailView::~ThumbnailView() {
    pool_.clear();
    pool_.waitForDone();
}

void ThumbnailView::setArchive(const ArchiveModel* model, std::shared_ptr<const FileHandle> file) {
    ++generation_;
    pool_.clear();
    cache_.clear();
    queued_.clear();
    decoded_ = 0;
    model_ = model;
    file_ = std::move(file);
    viewport()->update();
}

std::int32_t ThumbnailView::EntryOf(int row) const {
    const QListWidgetItem* line = list_->item(row);
    if (!model_ || !line) return -1;
    return model_->FindEntryByText(line->text().toStdString()).value_or(-1);
}

std::optional<QImage> ThumbnailView::thumbnail(int row) const {
    const std::int32_t entry = EntryOf(row);
    if (entry < 0) return QImage();
    if (const QImage* image = cache_.object(entry)) return *image;
    return std::nullopt;
}

void ThumbnailView::Request(std::int32_t entry, int priority) {
    if (entry < 0 || cache_.contains(entry) || queued_.contains(entry)) return;
    const auto kind = PictureKindOf(model_->Directory.EntryTypes[entry]);
    if (!kind) {
        Store(generation_, entry, QImage());
        return;
    }
    queued_.insert(entry);
    const FileRange range = model_->EntryRange(entry);
    pool_.start(
        [this, generation = generation_, entry, kind = *kind, range, file = file_] {
            QImage image;
            try {
                std::vector<std::uint8_t> bytes(
                    static_cast<std::size_t>(std::min<std::int64_t>(range.Length, kPictureHeaderBytes)));
                ReadExactly(*file, range.Offset, bytes);
                const auto extent = MeasurePicture(kind, bytes);
                if (extent && std::int64_t{extent->Width} * extent->Height <= kThumbnailMaxPixels) {
                    bytes.resize(static_cast<std::size_t>(std::min(extent->Bytes, range.Length)));
                    ReadExactly(*file, range.Offset, bytes);
                    const auto step =
                        SampleStep(extent->Width, extent->Height, kThumbnailSize, kThumbnailSize);
                    if (const auto state = DecodePicture(kind, bytes, step))
                        image = ToQImage(*state).scaled(kThumbnailSize, kThumbnailSize, Qt::KeepAspectRatio,
                                                        Qt::SmoothTransformation);
                }
            } catch (const std::exception&) {
                // Unreadable now (the file shrank): shown as a plain icon.
            }
            QMetaObject::invokeMethod(
                this, [=, this] { Store(generation, entry, image); }, Qt::QueuedConnection);
        },
        priority);
}

void ThumbnailView::Store(quint64 generation, std::int32_t entry, const QImage& image) {
    if (generation != generation_) return; // decoded for an archive no longer shown
    queued_.remove(entry);
    cache_.insert(entry, new QImage(image), std::max<qsizetype>(1, image.sizeInBytes()));
    ++decoded_;
    emit thumbnailReady(entry);
    viewport()->update();
}

void ThumbnailView::decodeAll() {
    const qint64 perThumbnail = qint64{kThumbnailSize} * kThumbnailSize * 4;
    qint64 room = cache_.maxCost() - cache_.totalCost();
    for (int row = 0; row < list_->count() && room > perThumbnail; ++row) {
        const std::int32_t entry = EntryOf(row);
        if (entry < 0 || cache_.contains(entry) || queued_.contains(entry)) continue;
        Request(entry, 0);
        room -= perThumbnail;
    }
}

} // namespace kelvot::app
