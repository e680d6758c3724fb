// The window with the largest archive it must handle: 32,767 entries, about 2 GiB (make_bench_data's
// WIN.DAT). Run with QT_QPA_PLATFORM=offscreen.
//
//   open_window_bench ARCHIVE [benchmark options]
//       the filter changing between all files and all image files, many times in one window
//   open_window_bench --open-once ARCHIVE
//       a new window opens the archive once; prints the milliseconds the open, the listing and the paint
//       took, the lines listed, and the process's peak memory (ru_maxrss) before and after the open.
//       bench/run.sh runs it in a new process per measurement, with the page cache dropped or not.

#include "app/form1.h"
#include "archive/list_order.h"
#include "window_bench.h"

#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <string_view>
#include <sys/resource.h>

using namespace kelvot;

namespace {

QString archive;

long PeakKib() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int OpenOnce() {
    bench::NoDialogs dialogs;
    app::Form1 window(dialogs);
    window.show();
    QCoreApplication::processEvents(); // the empty window painted, as before any open
    const long before = PeakKib();
    const auto start = std::chrono::steady_clock::now();
    window.OpenArchiveByPath(QStringLiteral("WIN.DAT"), archive);
    QCoreApplication::processEvents(); // the list painted, as a person would see it
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    std::printf("open_ms %.2f listed %d peak_before_kib %ld peak_kib %ld\n", took.count(),
                window.List1->count(), before, PeakKib());
    return window.List1->count() > 0 ? 0 : 1;
}

void WindowChangesFilter(benchmark::State& state) {
    bench::NoDialogs dialogs;
    app::Form1 window(dialogs);
    window.show();
    window.OpenArchiveByPath(QStringLiteral("WIN.DAT"), archive);
    const int all = static_cast<int>(TypeFilter::All);
    const int images = static_cast<int>(TypeFilter::AllImages);
    for (auto _ : state) {
        window.Combo1->setCurrentIndex(window.Combo1->currentIndex() == all ? images : all);
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(window.List1->count());
    }
}
BENCHMARK(WindowChangesFilter)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc == 3 && std::string_view(argv[1]) == "--open-once") {
        archive = QString::fromLocal8Bit(argv[2]);
        return OpenOnce();
    }
    benchmark::Initialize(&argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: open_window_bench ARCHIVE [benchmark options] | --open-once ARCHIVE\n");
        return 2;
    }
    archive = QString::fromLocal8Bit(argv[1]);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
