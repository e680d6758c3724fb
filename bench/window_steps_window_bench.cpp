// Stepping through 1,000 pictures in the enlarged view by key presses, and opening, filtering, selecting
// all and exporting in the window. Run: QT_QPA_PLATFORM=offscreen build/bench/window_steps_window_bench

#include "app/dialogs.h"
#include "app/form1.h"
#include "archive_builder.h"
#include "picture_builder.h"
#include "temp_folder.h"
#include "window_bench.h"

#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QtTest/QTest>
#include <benchmark/benchmark.h>

using namespace kelvot;

namespace {

class BenchDialogs final : public app::Dialogs {
  public:
    QString folder;
    std::optional<app::OpenFileChoice> openFile(QWidget*, const QString&, const QString&) override {
        return {};
    }
    void message(QWidget*, app::MessageIcon, const QString&, const QString& text) override {
        qFatal("unexpected message: %s", qPrintable(text));
    }
    bool question(QWidget*, const QString&, const QString&) override { return false; }
    QString input(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
    QStringList openFiles(QWidget*, const QString&, const QString&) override { return {}; }
    QString chooseFolder(QWidget*, const QString&, const QString&) override { return folder; }
    void about(QWidget*, const QString&, const QString&, const QPixmap&) override {}
};

// 1,000 pictures of every kind and code, 256 x 256 and smaller.
const testkit::TempFolder& Folder() {
    static const testkit::TempFolder folder;
    static const bool written = [] {
        const PictureKind kinds[] = {PictureKind::Mip, PictureKind::Srb, PictureKind::Pbf};
        std::vector<testkit::TestEntry> entries;
        for (int i = 0; i < 1000; ++i) {
            const auto code = static_cast<std::uint8_t>(i % 6);
            const auto size = static_cast<std::int16_t>(64 + (i * 37) % 193);
            entries.push_back({"P" + std::to_string(i) + ".PIC",
                               EncodePicture(RandomPicture(kinds[i % 3], code, size, size, i))});
        }
        testkit::WriteFile(folder / "STEPS.DAT", testkit::BuildArchive(entries));
        return true;
    }();
    (void)written;
    return folder;
}

void EnlargedViewStep(benchmark::State& state) {
    BenchDialogs dialogs;
    app::Form1 window(dialogs);
    window.show();
    window.OpenArchiveByPath(QStringLiteral("STEPS.DAT"),
                             QString::fromStdString((Folder() / "STEPS.DAT").string()));
    window.Pic1_Click();
    if (window.normalView()) state.SkipWithError("the view did not enlarge");
    for (auto _ : state) {
        QTest::keyClick(window.Pic1, Qt::Key_Right);
        QCoreApplication::processEvents(); // paint, as a person would see it
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(EnlargedViewStep)->Iterations(1000)->Unit(benchmark::kMillisecond);

void SelectAllAndExportBmp(benchmark::State& state) {
    BenchDialogs dialogs;
    app::Form1 window(dialogs);
    window.show();
    window.OpenArchiveByPath(QStringLiteral("STEPS.DAT"),
                             QString::fromStdString((Folder() / "STEPS.DAT").string()));
    int run = 0;
    for (auto _ : state) {
        const auto out = Folder() / ("out" + std::to_string(run++));
        std::filesystem::create_directory(out);
        dialogs.folder = QString::fromStdString(out.string());
        window.Combo1->setCurrentIndex(5);
        window.List1->selectAll();
        window.mnuFileSaveAsBMP_Click();
    }
}
BENCHMARK(SelectAllAndExportBmp)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return kelvot::bench::RunWindowBenchmarks(argc, argv);
}
