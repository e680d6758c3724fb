#include "mount/archive_view.h"

#include "archive/error.h"
#include "export/picture_export.h"
#include "images/picture_layout.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace kelvot::mount {

Snapshot::Snapshot(const std::filesystem::path& path)
    : file_(OpenForReading(path)), model_(LoadArchive(file_)) {
    struct stat st {};
    if (::fstat(file_.fd(), &st) != 0) throw SystemError(errno, "Cannot read", path.string());
    modified_ = st.st_mtim;
    top_ = BuildNameTree(model_.Directory.EntryNames, {}).Top;
    for (std::int32_t i = 0; i < model_.EntryCount; ++i)
        if (PictureKindOf(model_.Directory.EntryTypes[i])) pictures_.push_back(i);
}

std::int64_t Snapshot::ReadEntry(std::int32_t index, std::int64_t offset, std::span<std::uint8_t> out) const {
    const FileRange range = model_.EntryRange(index);
    if (offset >= range.Length) return 0;
    const auto want = static_cast<std::size_t>(std::min<std::int64_t>(out.size(), range.Length - offset));
    std::size_t done = 0;
    while (done < want) {
        const ssize_t n =
            ::pread(file_.fd(), out.data() + done, want - done,
                    static_cast<off_t>(range.Offset + offset + static_cast<std::int64_t>(done)));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -errno;
        if (n == 0) break; // the file has become shorter
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

namespace {

// The PNG file of an entry; nullopt when it exports none, its bytes cannot be read or memory runs out
// (this runs on worker threads, which an exception must not leave).
std::optional<std::vector<std::uint8_t>> MakePng(const ArchiveModel& model, EntryReader& reader,
                                                 std::int32_t index) {
    try {
        return ExportPng(model, reader, index, kDefaultMaxMegapixels);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace

const PngFolder& Snapshot::Pngs() const {
    std::call_once(pngOnce_, [this] {
        // Every picture is encoded once here, to know which export and how large their files are; the
        // work is shared by one thread per core. Files are kept while the cache has room, so memory
        // stays bounded however many pictures there are.
        std::vector<std::int64_t> sizes(pictures_.size(), -1); // -1: exports none
        std::vector<Bytes> kept(pictures_.size());
        std::atomic<std::size_t> next{0};
        std::atomic<std::int64_t> room{kPngCacheBytes};
        auto work = [&] {
            EntryReader reader(model_, file_);
            for (std::size_t k; (k = next++) < pictures_.size();) {
                auto png = MakePng(model_, reader, pictures_[k]);
                if (!png) continue;
                sizes[k] = static_cast<std::int64_t>(png->size());
                if (room.fetch_sub(sizes[k]) >= sizes[k])
                    kept[k] = std::make_shared<const std::vector<std::uint8_t>>(std::move(*png));
                else
                    room += sizes[k];
            }
        };
        const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
        std::vector<std::jthread> workers;
        for (unsigned t = 1; t < threads; ++t)
            workers.emplace_back(work);
        work();
        workers.clear();

        std::vector<std::int32_t> exported;
        for (std::size_t k = 0; k < pictures_.size(); ++k) {
            if (sizes[k] < 0) continue;
            exported.push_back(pictures_[k]);
            pngs_.Sizes.push_back(sizes[k]);
            pngs_.Kept.push_back(std::move(kept[k]));
        }
        pngs_.Names = BuildNameTree(model_.Directory.EntryNames, exported).Pngs;
    });
    return pngs_;
}

Bytes Snapshot::Png(std::size_t k) const {
    const PngFolder& pngs = Pngs();
    if (pngs.Kept[k]) return pngs.Kept[k];
    {
        const std::lock_guard lock(lastMutex_);
        if (last_.second && last_.first == k) return last_.second;
    }
    EntryReader reader(model_, file_);
    auto bytes = MakePng(model_, reader, pngs.Names.Entries[k]);
    if (!bytes) return nullptr;
    Bytes made = std::make_shared<const std::vector<std::uint8_t>>(std::move(*bytes));
    const std::lock_guard lock(lastMutex_);
    last_ = {k, made};
    return made;
}

ArchiveView::ArchiveView(std::filesystem::path path)
    : path_(std::move(path)), snapshot_(std::make_shared<const Snapshot>(path_)) {}

std::shared_ptr<const Snapshot> ArchiveView::Current() {
    const std::lock_guard lock(mutex_);
    return snapshot_;
}

std::shared_ptr<const Snapshot> ArchiveView::Refresh() {
    const auto stamp = StampOfPath(path_);
    if (!stamp || *stamp == Current()->Model().Stamp) return nullptr;
    try {
        auto fresh = std::make_shared<const Snapshot>(path_);
        const std::lock_guard lock(mutex_);
        return std::exchange(snapshot_, std::move(fresh));
    } catch (const KelvotError&) {
        // Not an archive now (or half written by a program that writes in place): the last one stays.
        return nullptr;
    }
}

} // namespace kelvot::mount
