// Opening an archive of 32,767 entries: loading it, ordering and filtering its names, and the window
// filling its list and changing the filter. Run: QT_QPA_PLATFORM=offscreen build/bench/open_window_bench

#include "app/dialogs.h"
#include "app/form1.h"
#include "archive/list_order.h"
#include "archive_builder.h"

#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <benchmark/benchmark.h>
#include <filesystem>

using namespace kelvot;

namespace {

class NoDialogs final : public app::Dialogs {
  public:
    std::optional<app::OpenFileChoice> openFile(QWidget*, const QString&, const QString&) override {
        return {};
    }
    void message(QWidget*, app::MessageIcon, const QString&, const QString& text) override {
        qFatal("unexpected message: %s", qPrintable(text));
    }
    QString chooseFolder(QWidget*, const QString&, const QString&) override { return {}; }
    bool question(QWidget*, const QString&, const QString&) override { return false; }
    QString input(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
    QStringList openFiles(QWidget*, const QString&, const QString&) override { return {}; }
    void about(QWidget*, const QString&, const QString&, const QPixmap&) override {}
};

const std::filesystem::path& LargeArchive() {
    static const std::filesystem::path path = [] {
        const auto p = std::filesystem::temp_directory_path() / "kelvot_bench_32767.DAT";
        const char* tags[] = {"MIP", "SRB", "PBF", "3DO", "OTH"};
        std::vector<testkit::TestEntry> entries;
        for (int i = 0; i < 32767; ++i) {
            // Scrambled names so the sort has work to do.
            const int n = (i * 7919) % 32767;
            entries.push_back(
                {"E" + std::to_string(n) + "." + tags[i % 5], testkit::DataOfType(tags[i % 5], 32)});
        }
        testkit::WriteFile(p, testkit::BuildArchive(entries));
        return p;
    }();
    return path;
}

void LoadOnly(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(LoadArchive(LargeArchive()));
}
BENCHMARK(LoadOnly)->Unit(benchmark::kMillisecond);

void LoadSortAndFilter(benchmark::State& state) {
    for (auto _ : state) {
        const ArchiveModel m = LoadArchive(LargeArchive());
        benchmark::DoNotOptimize(ListedEntries(m, TypeFilter::AllImages));
    }
}
BENCHMARK(LoadSortAndFilter)->Unit(benchmark::kMillisecond);

void WindowOpens(benchmark::State& state) {
    NoDialogs dialogs;
    app::Form1 window(dialogs);
    window.show();
    const QString path = QString::fromStdString(LargeArchive().string());
    for (auto _ : state) {
        window.OpenArchiveByPath(QStringLiteral("BIG.DAT"), path);
        benchmark::DoNotOptimize(window.List1->count());
    }
}
BENCHMARK(WindowOpens)->Unit(benchmark::kMillisecond);

void WindowChangesFilter(benchmark::State& state) {
    NoDialogs dialogs;
    app::Form1 window(dialogs);
    window.show();
    window.OpenArchiveByPath(QStringLiteral("BIG.DAT"), QString::fromStdString(LargeArchive().string()));
    int index = 0;
    for (auto _ : state) {
        index = index == 5 ? 4 : 5; // all files <-> all image files
        window.Combo1->setCurrentIndex(index);
        benchmark::DoNotOptimize(window.List1->count());
    }
}
BENCHMARK(WindowChangesFilter)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove(LargeArchive());
    return 0;
}
