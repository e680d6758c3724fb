#pragma once

// What a mount shows of one archive file, without FUSE: a snapshot of the file as read once (its open
// descriptor, directory and name tree, and the PNG files of its pictures, made when png/ is first looked
// into), and the view that swaps in a new snapshot when the file at the path has been replaced or changed.
//
// Each snapshot reads through its own descriptor, so one taken before an edit renamed a new archive over
// the path still reads the old file while anything holds it.

#include "archive/archive_model.h"
#include "archive/file_ops.h"
#include "mount/name_tree.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

namespace kelvot::mount {

using Bytes = std::shared_ptr<const std::vector<std::uint8_t>>;

// The png/ folder: the picture entries that export as PNG, their files' sizes, and as many of the files
// as fit the cache; the others are made again when opened.
struct PngFolder {
    Folder Names;
    std::vector<std::int64_t> Sizes; // by position in Names
    std::vector<Bytes> Kept;         // by position; null when not kept
};

class Snapshot {
  public:
    // Opens and reads the archive: KelvotError as the other commands report it when it is none.
    explicit Snapshot(const std::filesystem::path& path);

    const ArchiveModel& Model() const { return model_; }
    const Folder& Top() const { return top_; }
    // The png/ folder, made on the first call (every picture decoded and encoded, several at a time).
    const PngFolder& Pngs() const;
    // The archive file's modification time, which every file and folder of the mount shows.
    timespec ModifiedTime() const { return modified_; }

    // The bytes of an entry as extract writes them: the part of its range inside the file.
    std::int64_t EntrySize(std::int32_t index) const { return model_.EntryRange(index).Length; }
    // Reads up to out.size() bytes of the entry from `offset`; returns the count, or -errno.
    std::int64_t ReadEntry(std::int32_t index, std::int64_t offset, std::span<std::uint8_t> out) const;
    // The PNG file at position `k` of png/, made again when it was not kept (the last one made stays for
    // the reads that follow); null when it cannot be made.
    Bytes Png(std::size_t k) const;

  private:
    FileHandle file_;
    ArchiveModel model_;
    Folder top_;
    timespec modified_{};
    std::vector<std::int32_t> pictures_; // picture-typed entries, in directory order
    mutable std::once_flag pngOnce_;
    mutable PngFolder pngs_;
    mutable std::mutex lastMutex_;
    mutable std::pair<std::size_t, Bytes> last_;
};

// The kept PNG files of one snapshot take at most this many bytes.
inline constexpr std::int64_t kPngCacheBytes = std::int64_t{256} << 20;

class ArchiveView {
  public:
    // Reads the archive (KelvotError when it is none).
    explicit ArchiveView(std::filesystem::path path);

    // The current snapshot.
    std::shared_ptr<const Snapshot> Current();
    // Looks at the path again (its file's identity, size and change time) and reads a changed file
    // afresh; returns the snapshot it replaced, or null when nothing changed. A file that can no longer be
    // read as an archive leaves the last snapshot in place.
    std::shared_ptr<const Snapshot> Refresh();

  private:
    std::filesystem::path path_;
    std::mutex mutex_;
    std::shared_ptr<const Snapshot> snapshot_;
};

} // namespace kelvot::mount
