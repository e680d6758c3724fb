// The thumbnail view over 10,000 pictures: the first screen painted after switching the view on, the
// whole set decoded on the worker threads, and the same pictures decoded one after another in one thread
// (the floor the whole set is compared with). The cache's peak size is reported with the whole set.
// Run: QT_QPA_PLATFORM=offscreen build/bench/thumbnails_window_bench

#include "app/form1.h"
#include "archive_builder.h"
#include "picture_builder.h"
#include "temp_folder.h"
#include "window_bench.h"

#include <QApplication>
#include <array>
#include <benchmark/benchmark.h>

using namespace kelvot;

namespace {

constexpr int kPictures = 10'000;

// 10,000 pictures of 96 x 64 pixels, of every kind and format code.
const std::vector<testkit::TestEntry>& Pictures() {
    static const std::vector<testkit::TestEntry> entries = [] {
        std::vector<testkit::TestEntry> all;
        const char* tags[] = {"MIP", "SRB", "PBF"};
        for (int i = 0; i < kPictures; ++i) {
            const auto kind = static_cast<PictureKind>(i % 3);
            all.push_back({"P" + std::to_string(i) + "." + tags[i % 3],
                           EncodePicture(RandomPicture(kind, static_cast<std::uint8_t>(i % 6), 96, 64,
                                                       static_cast<std::uint32_t>(i)))});
        }
        return all;
    }();
    return entries;
}

// Two files of the same pictures, opened by turns: the window keeps the thumbnails of an archive read
// again unchanged, and each run must start from none.
std::array<QString, 2> PictureArchives(const testkit::TempFolder& folder) {
    std::array<QString, 2> paths;
    for (std::size_t k = 0; k < paths.size(); ++k) {
        const auto path = folder / ("PICS" + std::to_string(k) + ".DAT");
        testkit::WriteFile(path, testkit::BuildArchive(Pictures()));
        paths[k] = QString::fromStdString(path.string());
    }
    return paths;
}

// Whether every cell on screen holds its thumbnail (or its plain icon).
bool ScreenDecoded(const app::ThumbnailView& view) {
    const QRect visible = view.viewport()->rect();
    for (int row = 0; row < view.model()->rowCount(); ++row) {
        const QRect cell = view.visualRect(view.model()->index(row, 0));
        if (cell.top() > visible.bottom()) break;
        if (cell.intersects(visible) && !view.thumbnail(row)) return false;
    }
    return true;
}

// A shown window and the two copies of the pictures it opens by turns.
struct ThumbnailWindow {
    testkit::TempFolder folder;
    std::array<QString, 2> paths = PictureArchives(folder);
    std::size_t turn = 0;
    bench::NoDialogs dialogs;
    app::Form1 window{dialogs};

    ThumbnailWindow() { window.show(); }
    // Opens the other copy, untimed: no thumbnail of it is decoded yet.
    void OpenNext(benchmark::State& state) {
        state.PauseTiming();
        window.OpenArchiveByPath(QStringLiteral("PICS.DAT"), paths[turn++ % 2]);
        QApplication::processEvents();
        state.ResumeTiming();
    }
};

void FirstScreenOfThumbnails(benchmark::State& state) {
    ThumbnailWindow t;
    app::Form1& window = t.window;
    for (auto _ : state) {
        t.OpenNext(state);
        window.mnuViewThumbnails->trigger();
        do {
            QApplication::processEvents(QEventLoop::WaitForMoreEvents); // sleeps until a thumbnail comes
        } while (!ScreenDecoded(*window.Thumbs));
        window.Thumbs->viewport()->repaint();
        state.PauseTiming();
        window.mnuViewThumbnails->trigger();
        state.ResumeTiming();
    }
}
BENCHMARK(FirstScreenOfThumbnails)->Unit(benchmark::kMillisecond)->UseRealTime();

void WholeSetOfThumbnails(benchmark::State& state) {
    ThumbnailWindow t;
    app::Form1& window = t.window;
    window.mnuViewThumbnails->trigger();
    qint64 peak = 0;
    for (auto _ : state) {
        t.OpenNext(state);
        window.Thumbs->decodeAll();
        while (window.Thumbs->decodedCount() < kPictures) {
            QApplication::processEvents(QEventLoop::WaitForMoreEvents); // sleeps until a thumbnail comes
            peak = std::max(peak, window.Thumbs->cachedBytes());
        }
    }
    window.mnuViewThumbnails->trigger();
    // A label rather than a counter: the CSV output takes counters only when every benchmark has them.
    state.SetLabel("cache peak " + std::to_string(peak >> 20) + " MiB");
}
BENCHMARK(WholeSetOfThumbnails)->Unit(benchmark::kMillisecond)->UseRealTime();

// The floor: each picture decoded whole, one after another, from memory.
void SameSetDecodedInOneThread(benchmark::State& state) {
    for (auto _ : state)
        for (const auto& entry : Pictures())
            benchmark::DoNotOptimize(
                DecodePicture(PictureKindOf(ClassifyEntry(entry.data, 0)).value(), entry.data));
}
BENCHMARK(SameSetDecodedInOneThread)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    return kelvot::bench::RunWindowBenchmarks(argc, argv);
}
