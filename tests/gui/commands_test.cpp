// The window's commands that write reach the core with the lines selected and the folder chosen, ask and
// refuse as the user sees it and show the list read again; the files' bytes are the core tests' business.

#include "archive/file_ops.h"
#include "archive/file_system.h"
#include "editing/packing.h"
#include "export/png_export.h"
#include "gui_support.h"
#include "hostile_archives.h"
#include "picture_builder.h"

#include <QCheckBox>
#include <QMenuBar>
#include <QMimeData>
#include <QtTest>

#include <cstring>

using namespace kelvot;
using namespace kelvot::app;
using namespace kelvot::testkit;

class CommandsTest : public QObject {
    Q_OBJECT

    QTemporaryDir dataDir;
    QString filesPath;

  private slots:
    void initTestCase() {
        UseTemporarySettings();
        const auto wall = EncodePicture(RandomPicture(PictureKind::Mip, 5, 30, 20, 5));
        filesPath = WriteArchive(dataDir.filePath("FILES.DAT"),
                                 {{"WALL.MIP", wall},
                                  {"NOTE.TXT", DataOfType("OTH", 10)},
                                  {"GLASS.MIP", EncodePicture(RandomPicture(PictureKind::Mip, 2, 16, 8, 2))},
                                  {"SHIP.3DO", DataOfType("3DO", 7)},
                                  {"HALF.MIP", {wall.begin(), wall.end() - 1}}});
    }
    void init() { OpenSettings()->clear(); }

    // The folder asked for, the files written, the entries left out named (HALF.MIP is one byte short).
    void eachOutputCommandWritesWhatWasSelectedIntoTheChosenFolder() {
        const std::tuple<void (Form1::*)(), int, QString, QString> rows[] = {
            // The command, the filter, the lines selected, the files written; extract all takes every entry.
            {&Form1::mnuFileExtractAll_Click, 1, "GLASS.MIP",
             "GLASS.MIP HALF.MIP NOTE.TXT SHIP.3DO WALL.MIP"},
            {&Form1::mnuFileExtractSelectedFiles_Click, kAllFiles, "NOTE.TXT SHIP.3DO", "NOTE.TXT SHIP.3DO"},
            {&Form1::mnuFileSaveAsBMP_Click, 1, "WALL.MIP GLASS.MIP HALF.MIP",
             "GLASS.bmp GLASS_ti.bmp WALL.bmp WALL_ti.bmp"},
            {&Form1::mnuFileSaveAsPNG_Click, 1, "GLASS.MIP", "GLASS.png"},
        };
        for (const auto& [run, filter, selected, written] : rows) {
            Window s(filesPath, filter);
            s.select(selected.split(' '));
            QTemporaryDir out;
            s.d.answers = {out.path()};
            s.run(run);
            QCOMPARE(s.d.shown.value(0), "folder Please select the destination folder. | " + dataDir.path());
            const QString warning =
                "[Warning] Kelvot: These entries were not written:\n\"HALF.MIP\" (entry 4)";
            QCOMPARE(s.d.shown.value(1).left(warning.size()), selected.contains("HALF") ? warning : "");
            QCOMPARE(FilesIn(out.path()), written);
            QCOMPARE(s.current(), selected.split(' ').last());
        }
    }

    // Read from the settings (letter case ignored), chosen in the menu, passed on and saved on leaving.
    void theJpegQualityIsRememberedAndReachesTheFiles() {
        OpenSettings()->setValue("JPEGQuality/JPGQuality", "bad");
        QTemporaryDir bad, average;
        {
            Window s(filesPath);
            QVERIFY(s.w.jpegQuality() == JpegQuality::Bad);
            s.select({"WALL.MIP"});
            s.d.answers = {bad.path(), average.path()};
            s.run(&Form1::mnuFileSaveAsJPG_Click);
            s.w.mnuFileJPEGQualityItems[3]->trigger();
            for (int i = 0; i < 5; ++i)
                QCOMPARE(s.w.mnuFileJPEGQualityItems[i]->isChecked(), i == 3);
            s.run(&Form1::mnuFileSaveAsJPG_Click);
            QCOMPARE(s.d.messages(), QStringList());
            s.w.mnuFileExit->trigger();
        }
        QVERIFY(QFileInfo(bad.filePath("WALL.jpg")).size() < QFileInfo(average.filePath("WALL.jpg")).size());
        QCOMPARE(OpenSettings()->value("JPEGQuality/JPGQuality").toString(), QStringLiteral("Average"));
    }

    // The largest picture an export decodes comes from the settings; the preview shows it all the same,
    // decoded only at the size of its box.
    void exportsRefusePicturesAboveTheLimitInTheSettings() {
        OpenSettings()->setValue("Limits/MaxMegapixels", 1);
        Window s(
            WriteArchive(dataDir.filePath("BIG.DAT"),
                         {{"BIG.MIP", EncodePicture(RandomPicture(PictureKind::Mip, 0, 1100, 1000, 1))}}));
        const QImage shown = s.w.Pic1->picture();
        QVERIFY(shown.width() < 1100 && shown.width() >= s.w.Pic1->target().width());
        QTemporaryDir out;
        s.d.answers = {out.path()};
        s.run(&Form1::mnuFileSaveAsBMP_Click);
        QCOMPARE(FilesIn(out.path()), QString());
        QVERIFY(s.d.messages().size() == 1 && s.d.messages()[0].endsWith("the limit is 1 megapixel."));
    }

    // The name asked again after a refusal, and once more; the window does not open what it made.
    void createAsksUntilTheNamePassesAndPacksTheFolder() {
        QTemporaryDir folder;
        WriteFile(folder.filePath("A.TXT").toStdString(), std::vector<std::uint8_t>(10, 'a'));
        Window s;
        s.d.answers = {folder.path(), "x.da", "NEW.DAT", folder.path(), ".DAT"};
        s.run(&Form1::mnuFileNew_Click);
        s.run(&Form1::mnuFileNew_Click); // the suggestion left as it was: nothing happens
        QCOMPARE(s.d.shown[0],
                 "folder Please select the folder containing the files that you wish to pack. | " +
                     QDir::currentPath());
        QVERIFY(s.d.shown.size() == 6 && s.d.shown[2].startsWith("[Critical] New DAT file: ") &&
                s.d.shown[3] == "input New DAT file" && s.d.shown[4] == s.d.shown[0]);
        QVERIFY(s.w.archive() == nullptr && FilesIn(folder.path()) == "A.TXT NEW.DAT");
    }

    // Add, remove and rename in turn, each showing the list read again; a refusal changes nothing.
    void editsAskRefuseAndShowTheListReadAgain() {
        QTemporaryDir dir;
        const QString path = WriteArchive(dir.filePath("EDIT.DAT"), {{"A.MIP", DataOfType("MIP", 20)},
                                                                     {"B.MIP", DataOfType("MIP", 9)},
                                                                     {"C.SRB", DataOfType("SRB", 24)}});
        WriteFile(dir.filePath("NEW.TXT").toStdString(), std::vector<std::uint8_t>(10, 'n'));
        Window s(path);
        s.run(&Form1::mnuFileAdd_Click);
        QCOMPARE(s.d.shown, QStringList{"[Warning] Add Files: Please select the \"All Files\" filter."});
        s.filter(kAllFiles);
        WriteFile(dir.filePath("LONG NAME.TEXT").toStdString(), {1});
        s.d.answers = {dir.filePath("NEW.TXT") + "\n" + dir.filePath("LONG NAME.TEXT")};
        s.run(&Form1::mnuFileAdd_Click);
        QCOMPARE(s.lines(), QStringLiteral("A.MIP* B.MIP C.SRB NEW.TXT"));
        QCOMPARE(s.d.shown.last(), "[Warning] Add Files: " + dir.filePath("LONG NAME.TEXT") +
                                       " is not added: " + QString::fromUtf8(kUnpackableName) + ".");

        const auto added = ReadFile(path.toStdString());
        s.d.answers = {"yes", "yes"};
        s.w.List1->selectAll();
        s.run(&Form1::mnuFileRemove_Click);
        QCOMPARE(s.d.shown.last(), "[Critical] Kelvot: You cannot remove every file in the DAT file.");
        QVERIFY(ReadFile(path.toStdString()) == added);
        s.select({"A.MIP", "C.SRB"}); // the lines selected, not just the current one
        s.run(&Form1::mnuFileRemove_Click);
        QCOMPARE(s.lines(), QStringLiteral("B.MIP* NEW.TXT"));

        s.d.answers = {"new.txt", ".MIP", "ZED.MIP"}; // on B.MIP, the first line; two names refused
        s.run(&Form1::mnuFileRename_Click);
        QCOMPARE(s.d.messages().filter("[Critical] Rename file: ").size(), 2);
        QCOMPARE(s.lines(), QStringLiteral("NEW.TXT ZED.MIP*"));
    }

    // An archive dropped anywhere opens as Open does; files dropped on the list are added under Add's rules;
    // lines dragged out of the list become files extracted into a folder of their own.
    void dropsOpenOrAddAndLinesDragOutAsFiles() {
        QTemporaryDir dir;
        const QString path = WriteArchive(
            dir.filePath("DROP.DAT"), {{"A.MIP", DataOfType("MIP", 20)}, {"B.TXT", DataOfType("OTH", 5)}});
        WriteFile(dir.filePath("NEW.TXT").toStdString(), {1, 2});
        Window s(filesPath);
        const auto drop = [&](const QString& file, QWidget* on) {
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(file)});
            const QPoint at = on->mapTo(&s.w, on->rect().center());
            QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QVERIFY(QApplication::sendEvent(&s.w, &enter) && enter.isAccepted());
            QApplication::sendEvent(&s.w, &dropped);
            s.settled(file);
        };
        drop(path, s.w.Pic1);
        QVERIFY(s.w.currentArchivePath() == path && s.w.mnuFileMRU[1]->text() == "&1 DROP.DAT");
        drop(dir.filePath("NEW.TXT"), s.w.List1);
        QCOMPARE(s.d.shown.last(), "[Warning] Add Files: Please select the \"All Files\" filter.");
        s.filter(kAllFiles);
        drop(dir.filePath("NEW.TXT"), s.w.List1);
        QCOMPARE(s.lines(), QStringLiteral("A.MIP* B.TXT NEW.TXT"));

        const QModelIndexList lines{s.w.List1->model()->index(0, 0), s.w.List1->model()->index(2, 0)};
        const std::unique_ptr<QMimeData> dragged(s.w.List1->model()->mimeData(lines));
        QCOMPARE(dragged->urls().size(), 2);
        QCOMPARE(ReadFile(dragged->urls()[1].toLocalFile().toStdString()), (std::vector<std::uint8_t>{1, 2}));
        QCOMPARE(QFileInfo(dragged->urls()[0].toLocalFile()).fileName(), "A.MIP");
    }

    // A file of another size is refused with the core's words and changes nothing; the new picture shows
    // at once, and one reduced to 16 colours is told.
    void importAndReplaceShowTheEntryAnew() {
        QTemporaryDir dir;
        const auto wall = EncodePicture(RandomPicture(PictureKind::Mip, 0, 6, 4, 1));
        const auto other = EncodePicture(RandomPicture(PictureKind::Mip, 3, 6, 4, 2));
        const QString png = dir.filePath("O.png");
        WriteFile(png.toStdString(),
                  EncodePng(PictureKind::Mip, other, *DecodePicture(PictureKind::Mip, other)));
        Window s(
            WriteArchive(dir.filePath("PIC.DAT"), {{"WALL.MIP", wall}, {"NOTE.TXT", DataOfType("OTH", 5)}}),
            kAllFiles);
        s.select({"WALL.MIP"});
        const QImage before = s.w.Pic1->picture();
        const auto bytes = ReadFile(s.w.currentArchivePath().toStdString());
        const auto wide = EncodePicture(RandomPicture(PictureKind::Mip, 3, 5, 3, 2));
        WriteFile(dir.filePath("W.png").toStdString(),
                  EncodePng(PictureKind::Mip, wide, *DecodePicture(PictureKind::Mip, wide)));
        s.d.answers = {dir.filePath("W.png")};
        s.run(&Form1::mnuFileImport_Click);
        QVERIFY(s.d.messages().value(0).startsWith("[None] Kelvot: The following error occurred:\n"));
        QVERIFY(s.d.messages().value(0).endsWith("is 5 x 3 pixels, but the picture of \"WALL.MIP\" is 6 x 4. "
                                                 "Nothing was changed."));
        QVERIFY(ReadFile(s.w.currentArchivePath().toStdString()) == bytes);
        s.d.shown.clear();
        s.d.answers = {png};
        s.run(&Form1::mnuFileImport_Click);
        QVERIFY(s.d.messages().value(0).startsWith("[None] Import Picture: WALL.MIP: reduced "));
        QVERIFY(s.current() == "WALL.MIP" && s.w.Pic1->picture() != before);
        s.select({"NOTE.TXT"});
        s.d.answers = {png};
        s.run(&Form1::mnuFileReplace_Click);
        QVERIFY(s.w.archive()->Directory.EntrySizes[1] == QFileInfo(png).size() && s.current() == "NOTE.TXT");
    }

    // Undo takes back the last edit and shows the list read again, only while the archive is as the edit
    // left it; the kept file goes on opening an archive and on exit; without hard links it is not offered.
    void undoTakesBackTheLastEditOnlyWhileTheArchiveIsAsItWasLeft() {
        QTemporaryDir dir, src;
        const auto entries = std::vector<TestEntry>{{"A.MIP", DataOfType("MIP", 20)}, {"B.MIP", {1}}};
        const QString path = WriteArchive(dir.filePath("U.DAT"), entries), added = src.filePath("N.TXT");
        WriteFile(added.toStdString(), {1});
        const auto before = ReadFile(path.toStdString());
        Window s(path, kAllFiles);
        QAction* undo = s.w.mnuEditUndo;
        QVERIFY(!undo->isEnabled() && s.w.menuBar()->actions().value(1) == s.w.mnuEdit->menuAction());
        s.d.answers = {"yes"};
        s.run(&Form1::mnuFileRemove_Click);
        QVERIFY(undo->isEnabled() && FilesIn(dir.path()).contains(".kelvot-undo-"));
        s.run(&Form1::mnuEditUndo_Click);
        QVERIFY(s.lines() == "A.MIP B.MIP*" && ReadFile(path.toStdString()) == before && !undo->isEnabled());
        QCOMPARE(FilesIn(dir.path()), QStringLiteral("U.DAT"));

        s.d.answers = {"Z.MIP"};
        s.run(&Form1::mnuFileRename_Click);
        WriteArchive(path, entries); // as it was, but written by another program
        s.w.mnuEdit_Click();
        QVERIFY(!undo->isEnabled());
        s.run(&Form1::mnuEditUndo_Click);
        QVERIFY(s.d.messages().last().contains("[Critical] Undo: " + path + " has changed since Kelvot"));
        QVERIFY(ReadFile(path.toStdString()) == before);

        s.w.OpenArchiveByPath("U.DAT", path);
        const FileFaultHook noLinks = [](FileStep step, const std::filesystem::path& p) {
            return step == FileStep::Create && p.filename().string().starts_with(".kelvot-undo-") ? EPERM : 0;
        };
        // Added: without hard links; then opened again; then added again; then the window closed.
        for (const int row : {0, 1, 2, 3}) {
            s.d.answers = {added};
            const FileFaultHook previous = SetFileFaultHook(row == 0 ? noLinks : FileFaultHook());
            s.run(&Form1::mnuFileAdd_Click);
            SetFileFaultHook(previous);
            QCOMPARE(FilesIn(dir.path()).count(".kelvot-undo-"), qsizetype{row > 0}); // the one before gone
            QCOMPARE(undo->text(), QString(row > 0 ? "&Undo" : "Undo not available on this file system"));
            QCOMPARE(undo->isEnabled(), row > 0);
            if (row % 2 == 0) continue;
            row == 1 ? s.w.OpenArchiveByPath("U.DAT", path) : (void)s.w.close();
            QCOMPARE(FilesIn(dir.path()), QStringLiteral("U.DAT"));
        }
    }

    // A file operation made to fail part-way, or an archive changed since the window read it (error 0),
    // with the second line selected: the edits must work on the directory the window showed.
    void aFailureIsReportedAndLeavesTheWindowAndTheArchiveAsTheyWere() {
        // The command, its answer (OUT: the folder holding NEW.TXT), and the nth call of the step to fail.
        const std::tuple<void (Form1::*)(), QString, FileStep, int, int> commands[] = {
            {&Form1::mnuFileExtractAll_Click, "OUT", FileStep::Create, 3, EDQUOT},
            {&Form1::mnuFileAdd_Click, "OUT/NEW.TXT", FileStep::Write, 2, ENOSPC},
            {&Form1::mnuFileRemove_Click, "yes", FileStep::Read, 3, EIO},
            {&Form1::mnuFileRemove_Click, "yes", FileStep::Rename, 1, EIO},  // the old file already kept
            {&Form1::mnuFileRename_Click, "ZED.MIP", FileStep::Write, 0, 0}, // in a changed archive
        };
        std::vector<TestEntry> entries;
        for (std::uint8_t code = 0; code < 6; ++code)
            entries.push_back({"P" + std::to_string(code) + ".MIP",
                               EncodePicture(RandomPicture(PictureKind::Mip, code, 40, 30, code))});
        for (const auto& [run, answer, failingStep, nth, error] : commands) {
            const QString context = answer + ": ";
            QTemporaryDir dir, out;
            const QString path = WriteArchive(dir.filePath("FAULT.DAT"), entries);
            WriteFile(out.filePath("NEW.TXT").toStdString(), std::vector<std::uint8_t>(5000, 'n'));
            Window s(path, kAllFiles); // All files: the add command asks for it
            s.selectRow(1, context);
            const QString lines = s.lines();
            if (error == 0) WriteArchive(path, {{"X.MIP", DataOfType("MIP", 5)}, entries[1]});
            const auto before = ReadFile(path.toStdString());
            s.d.answers = {QString(answer).replace("OUT", out.path())};
            int calls = 0;
            const FileFaultHook previous = SetFileFaultHook([&](FileStep step, const std::filesystem::path&) {
                return step == failingStep && ++calls == nth ? error : 0;
            });
            s.run(run, context);
            SetFileFaultHook(previous);
            const QString cause = error ? QString::fromUtf8(std::strerror(error))
                                        : QStringLiteral("has changed since it was opened");
            const QStringList messages = s.d.messages();
            QVERIFY2(messages.size() == 1 && messages[0].contains(cause) &&
                         messages[0].startsWith("[None] Kelvot: The following error occurred:\n"),
                     qPrintable(context + messages.join('|')));
            QVERIFY2(s.lines() == lines && ReadFile(path.toStdString()) == before &&
                         FilesIn(dir.path()) == "FAULT.DAT",
                     qPrintable(context + s.lines()));
        }
    }

    // Every hostile archive opened or refused, each line shown (enlarged too), the pictures saved and the
    // entries extracted: no crash, no message showing the program's insides, the archive unchanged.
    void everyHostileArchiveIsShownAndWrittenOut() {
        for (const HostileArchive& hostile : HostileArchives()) {
            const QString context = QString::fromStdString(hostile.name) + ": ";
            QTemporaryDir dir;
            const QString out = dir.filePath("a/b"); // a name climbing two folders up stays in dir
            QDir().mkpath(out);
            const QString path = dir.filePath("ARCH.DAT");
            WriteFile(path.toStdString(), hostile.bytes);

            Window s({}, kAllFiles);
            Form1& w = s.w;
            w.Check1->setChecked(true);
            w.OpenArchiveByPath("ARCH.DAT", path);
            QVERIFY2(w.archive() != nullptr || !s.d.messages().isEmpty(), qPrintable(context));

            // The first hundred lines and the last.
            const int lines = w.List1->count();
            for (int row = 0; row < lines; row = row + 1 == 100 ? std::max(row + 1, lines - 1) : row + 1) {
                s.selectRow(row, context);
                w.Pic1_Click();
                w.Pic1_KeyDown(Qt::Key_Right, Qt::NoModifier);
                w.Pic1_KeyDown(Qt::Key_Escape, Qt::NoModifier);
                QVERIFY2(w.normalView(), qPrintable(context));
            }
            w.List1->selectAll();
            s.d.answers = {out, out, out};
            for (auto command : {&Form1::mnuFileSaveAsBMP_Click, &Form1::mnuFileSaveAsJPG_Click,
                                 &Form1::mnuFileExtractAll_Click})
                s.run(command, context);
            for (const QString& m : s.d.messages())
                QVERIFY2(!m.endsWith(": ") && !m.contains("std::") && !m.contains("bad_alloc"),
                         qPrintable(context + m));
            QVERIFY2(ReadFile(path.toStdString()) == hostile.bytes, qPrintable(context));
        }
    }
};

QTEST_MAIN(CommandsTest)
#include "commands_test.moc"
