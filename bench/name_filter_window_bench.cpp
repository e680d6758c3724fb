// One keystroke in the name filter above a list of 32,767 entries: the lines filtered again, a line
// selected and shown, the window painted.
// Run: QT_QPA_PLATFORM=offscreen build/bench/name_filter_window_bench

#include "app/form1.h"
#include "archive_builder.h"
#include "temp_folder.h"
#include "window_bench.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QtTest/QTest>
#include <benchmark/benchmark.h>

using namespace kelvot;

namespace {

// 32,767 entries named E0.MIP to E32766.SRB in a scrambled order, every fifth of them a picture type.
QString LargeArchive(const testkit::TempFolder& folder) {
    const char* tags[] = {"MIP", "SRB", "PBF", "3DO", "OTH"};
    std::vector<testkit::TestEntry> entries;
    for (int i = 0; i < 32767; ++i)
        entries.push_back({"E" + std::to_string((i * 7919) % 32767) + "." + tags[i % 5],
                           testkit::DataOfType(tags[i % 5], 32)});
    testkit::WriteFile(folder / "BIG.DAT", testkit::BuildArchive(entries));
    return QString::fromStdString((folder / "BIG.DAT").string());
}

// Keystrokes by turns: a character typed into the empty filter, then Backspace, which brings every line
// back. Arg 0 types "1", which keeps the 56% of names holding a 1; arg 1 types "e", which keeps them all.
void NameFilterKeystroke(benchmark::State& state) {
    const testkit::TempFolder folder;
    bench::NoDialogs dialogs;
    app::Form1 window(dialogs);
    window.show();
    window.Combo1->setCurrentIndex(5); // all files: every entry a line
    window.OpenArchiveByPath(QStringLiteral("BIG.DAT"), LargeArchive(folder));
    window.Text1->setFocus();
    const char typed = state.range(0) == 0 ? '1' : 'e';
    bool narrow = true;
    for (auto _ : state) {
        if (narrow)
            QTest::keyClick(window.Text1, typed);
        else
            QTest::keyClick(window.Text1, Qt::Key_Backspace);
        narrow = !narrow;
        QCoreApplication::processEvents(); // paint, as a person would see it
    }
    benchmark::DoNotOptimize(window.List1->count());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(NameFilterKeystroke)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return kelvot::bench::RunWindowBenchmarks(argc, argv);
}
