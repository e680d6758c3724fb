// Writes the seed corpora of the fuzz targets, made by the tests' own builders: sound pictures of every
// kind and format code, their headers in both layouts, and the hostile archives with their pictures.
//
//   fuzz_seeds OUT    writes OUT/archive, OUT/decoders and OUT/bmp

#include "archive/archive_model.h"
#include "archive/error.h"
#include "archive_builder.h"
#include "hostile_archives.h"
#include "loaded_archive.h"
#include "picture_builder.h"
#include "picture_input.h"

#include <cstdio>
#include <filesystem>

using namespace kelvot;
using namespace kelvot::testkit;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Seeds longer than this are left out: the fuzzers work on short inputs.
constexpr std::size_t kLongest = 16384;

class Corpus {
  public:
    explicit Corpus(fs::path folder) : folder_(std::move(folder)) { fs::create_directories(folder_); }
    void Add(const Bytes& bytes) {
        if (bytes.size() > kLongest) return;
        WriteFile(folder_ / ("seed-" + std::to_string(count_++)), bytes);
    }
    int count() const { return count_; }

  private:
    fs::path folder_;
    int count_ = 0;
};

std::vector<std::pair<PictureKind, Bytes>> Pictures() {
    std::vector<std::pair<PictureKind, Bytes>> pictures;
    const std::pair<std::int16_t, std::int16_t> sizes[] = {{1, 1}, {3, 2}, {5, 3}, {8, 4}};
    std::uint32_t seed = 1;
    for (const PictureKind kind : {PictureKind::Mip, PictureKind::Srb, PictureKind::Pbf})
        for (std::uint8_t code = 0; code < 8; ++code)
            for (const auto& [width, height] : sizes) {
                PictureSpec spec = RandomPicture(kind, code, width, height, seed++);
                pictures.emplace_back(kind, EncodePicture(spec));
                if (kind == PictureKind::Pbf) continue;
                spec.LayoutB = code < 3;
                spec.Marker = code < 3 ? 0 : 0x40;
                pictures.emplace_back(kind, EncodePicture(spec));
            }
    return pictures;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT\n", argv[0]);
        return 2;
    }
    const fs::path out = argv[1];
    Corpus archives(out / "archive"), decoders(out / "decoders"), bmp(out / "bmp");

    const auto pictures = Pictures();
    for (const auto& [kind, entry] : pictures) {
        decoders.Add(fuzz::PictureInputBytes(kind, entry));
        bmp.Add(fuzz::PictureInputBytes(kind, entry));
    }
    // A small archive of every kind and code beside objects and other files.
    std::vector<TestEntry> entries{{"SHIP.3DO", DataOfType("3DO", 20)}, {"NOTE.TXT", DataOfType("OTH", 9)}};
    for (std::size_t i = 0; i < pictures.size(); i += 7)
        entries.push_back({"P" + std::to_string(i) + ".MIP", pictures[i].second});
    archives.Add(BuildArchive(entries));

    for (const HostileArchive& hostile : HostileArchives()) {
        archives.Add(hostile.bytes);
        try {
            const LoadedArchive archive(hostile.bytes);
            for (std::int32_t i = 0; i < archive->EntryCount && i < 64; ++i)
                if (const auto kind = PictureKindOf(archive->Directory.EntryTypes[i])) {
                    decoders.Add(fuzz::PictureInputBytes(*kind, archive.Entry(i)));
                    bmp.Add(fuzz::PictureInputBytes(*kind, archive.Entry(i)));
                }
        } catch (const KelvotError&) {
            // Not an archive the loader opens: a seed of the archive target only.
        }
    }
    std::printf("%d archive, %d decoders, %d bmp seeds in %s\n", archives.count(), decoders.count(),
                bmp.count(), out.c_str());
    return 0;
}
