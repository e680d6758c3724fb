#pragma once

// The list's lines as a grid of thumbnails with the name under each. It shows the list's own model and
// selection, so order, filter, selection and commands are the list's. Thumbnails are decoded on worker
// threads when their line is painted, so what is on screen comes first and scrolling never waits; then
// the rest of the list in order. The cache is bounded in bytes: past it, the thumbnails used longest ago
// go, and are decoded again when they are painted again.

#include "archive/archive_model.h"
#include "images/picture_layout.h"

#include <QCache>
#include <QImage>
#include <QListView>
#include <QMutex>
#include <QThreadPool>
#include <QTimer>
#include <memory>

class QListWidget;

namespace kelvot::app {

class ThumbnailView : public QListView {
    Q_OBJECT
  public:
    static constexpr int kThumbnailSize = 80; // the box a thumbnail is fitted into, in pixels
    static constexpr qint64 kCacheBytes = qint64{96} << 20;

    explicit ThumbnailView(QListWidget* list, QWidget* parent = nullptr);
    ~ThumbnailView() override;

    // The archive whose entries the lines name, and its file (shared with the decoding threads); nullptr
    // when none is open. Work for the previous archive is dropped, unless it is `unchanged`: the same
    // file as before, read again (its entries, and so the thumbnails, are the same).
    void setArchive(const ArchiveModel* model, std::shared_ptr<const FileHandle> file,
                    bool unchanged = false);
    // Queues every listed picture not yet decoded, in list order, behind those on screen.
    void decodeAll();
    // The thumbnail of a line, when it is decoded; a null image for a line that holds no picture or whose
    // picture cannot be decoded once it has been tried.
    std::optional<QImage> thumbnail(int row) const;
    // Pictures decoded or tried for the current archive, and the bytes the cache holds.
    int decodedCount() const { return decoded_; }
    qint64 cachedBytes() const { return cache_.totalCost(); }

  signals:
    void thumbnailReady(int entry);

  private:
    friend class ThumbnailDelegate;
    // A picture to decode: the entry, its kind and where its bytes lie.
    struct Job {
        std::int32_t Entry;
        PictureKind Kind;
        FileRange Range;
    };
    // The entry a line names, or -1.
    std::int32_t EntryOf(int row) const;
    // Starts decoding the entry's thumbnail unless it is cached or queued.
    void Request(std::int32_t entry, int priority);
    // The job for an entry not cached or queued yet, now counted as queued; a line that holds no picture
    // gets its plain icon at once.
    std::optional<Job> Plan(std::int32_t entry);
    // Decodes the jobs, in order, on one worker thread.
    void Start(std::vector<Job> jobs, int priority);
    void Store(quint64 generation, std::int32_t entry, const QImage& image);
    struct Delivered {
        quint64 Generation;
        std::int32_t Entry;
        QImage Image;
    };
    // Called on a worker thread: hands results to the window's thread, which takes all that are waiting
    // at once, so ten thousand thumbnails cost a few hundred events, not ten thousand.
    void Deliver(QList<Delivered> done);
    void TakeDelivered();

    QListWidget* list_;
    const ArchiveModel* model_ = nullptr;
    std::shared_ptr<const FileHandle> file_;
    quint64 generation_ = 0;
    QCache<std::int32_t, QImage> cache_;
    QSet<std::int32_t> queued_;
    int decoded_ = 0;
    QMutex deliveredLock_;
    QList<Delivered> delivered_;
    QTimer repaint_; // thumbnails arriving in a stream are painted a few times a second, not each one
    QThreadPool pool_;
};

} // namespace kelvot::app
