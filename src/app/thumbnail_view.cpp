#include "app/thumbnail_view.h"

#include "app/preview.h"
#include "images/picture_layout.h"
#include "images/picture_read.h"

#include <QApplication>
#include <QListWidget>
#include <QPainter>
#include <QStyledItemDelegate>

namespace kelvot::app {

namespace {

// A picture larger than this is shown as a plain icon: decoding it would take far more than a thumbnail.
constexpr std::int64_t kThumbnailMaxPixels = 16'000'000;

// The thumbnail of a picture entry, decoded at less than twice the box (it is scaled when painted, so only
// the few on screen are ever scaled); a null image when it cannot be decoded.
QImage DecodeThumbnail(const FileHandle& file, PictureKind kind, FileRange range) {
    try {
        const std::vector<std::uint8_t> bytes = ReadPictureBytes(file, range, kind, kThumbnailMaxPixels);
        const auto extent = MeasurePicture(kind, bytes);
        if (!extent || std::int64_t{extent->Width} * extent->Height > kThumbnailMaxPixels) return {};
        const int size = ThumbnailView::kThumbnailSize;
        const auto state = DecodePicture(kind, bytes, SampleStep(extent->Width, extent->Height, size, size));
        return state ? ToQImage(*state) : QImage();
    } catch (const std::exception&) {
        return {}; // unreadable now (the file shrank): shown as a plain icon
    }
}

} // namespace

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
        const QPalette::ColorGroup group = !(option.state & QStyle::State_Enabled) ? QPalette::Disabled
                                           : option.state & QStyle::State_Active   ? QPalette::Active
                                                                                   : QPalette::Inactive;
        const bool selected = option.state & QStyle::State_Selected;
        if (selected) painter->fillRect(option.rect, option.palette.brush(group, QPalette::Highlight));
        if (option.state & QStyle::State_HasFocus) {
            QStyleOptionFocusRect focus;
            focus.QStyleOption::operator=(option);
            style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, cell.widget);
        }

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
            // Scaled down to the box; a small picture keeps its own size.
            const QSize shown = thumbnail->width() <= box.width() && thumbnail->height() <= box.height()
                                    ? thumbnail->size()
                                    : thumbnail->size().scaled(box.size(), Qt::KeepAspectRatio);
            painter->setRenderHint(QPainter::SmoothPixmapTransform);
            painter->drawImage(QRect(box.center() - QPoint(shown.width() / 2, shown.height() / 2), shown),
                               *thumbnail);
        }
        const QRect text(option.rect.left() + 2, box.bottom() + 4, option.rect.width() - 4,
                         option.fontMetrics.height());
        painter->setPen(option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
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
    repaint_.setSingleShot(true);
    repaint_.setInterval(40);
    connect(&repaint_, &QTimer::timeout, viewport(), qOverload<>(&QWidget::update));
}

ThumbnailView::~ThumbnailView() {
    pool_.clear();
    pool_.waitForDone();
}

void ThumbnailView::setArchive(const ArchiveModel* model, std::shared_ptr<const FileHandle> file,
                               bool unchanged) {
    model_ = model;
    if (unchanged) {
        file_ = std::move(file);
        return; // the same entries: what is cached or on its way stays good
    }
    ++generation_;
    pool_.clear();
    cache_.clear();
    queued_.clear();
    decoded_ = 0;
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

std::optional<ThumbnailView::Job> ThumbnailView::Plan(std::int32_t entry) {
    if (entry < 0 || cache_.contains(entry) || queued_.contains(entry)) return std::nullopt;
    const auto kind = PictureKindOf(model_->Directory.EntryTypes[entry]);
    if (!kind) {
        Store(generation_, entry, QImage());
        return std::nullopt;
    }
    queued_.insert(entry);
    return Job{entry, *kind, model_->EntryRange(entry)};
}

void ThumbnailView::Request(std::int32_t entry, int priority) {
    if (const auto job = Plan(entry)) Start({*job}, priority);
}

void ThumbnailView::Start(std::vector<Job> jobs, int priority) {
    pool_.start(
        [this, generation = generation_, jobs = std::move(jobs), file = file_] {
            QList<Delivered> done;
            for (const Job& job : jobs)
                done.append({generation, job.Entry, DecodeThumbnail(*file, job.Kind, job.Range)});
            Deliver(std::move(done));
        },
        priority);
}

void ThumbnailView::Deliver(QList<Delivered> done) {
    const QMutexLocker lock(&deliveredLock_);
    const bool waiting = !delivered_.isEmpty();
    delivered_.append(std::move(done));
    if (!waiting) QMetaObject::invokeMethod(this, &ThumbnailView::TakeDelivered, Qt::QueuedConnection);
}

void ThumbnailView::TakeDelivered() {
    QList<Delivered> taken;
    {
        const QMutexLocker lock(&deliveredLock_);
        taken.swap(delivered_);
    }
    for (const Delivered& result : taken)
        Store(result.Generation, result.Entry, result.Image);
}

void ThumbnailView::Store(quint64 generation, std::int32_t entry, const QImage& image) {
    if (generation != generation_) return; // decoded for an archive no longer shown
    queued_.remove(entry);
    cache_.insert(entry, new QImage(image), std::max<qsizetype>(1, image.sizeInBytes()));
    ++decoded_;
    if (!repaint_.isActive()) repaint_.start();
}

void ThumbnailView::decodeAll() {
    // In batches: a task for each picture would cost more than many of the decodes themselves.
    constexpr std::size_t kBatch = 64;
    std::vector<Job> batch;
    for (int row = 0; row < list_->count(); ++row) {
        if (const auto job = Plan(EntryOf(row))) batch.push_back(*job);
        if (batch.size() == kBatch || (row + 1 == list_->count() && !batch.empty()))
            Start(std::exchange(batch, {}), 0);
    }
}

} // namespace kelvot::app
