// The window's commands that write: extract, save as BMP or JPEG, create, add, remove and rename. Each
// reaches the core with the lines selected and the folder chosen, asks and refuses as the user sees it and
// shows the list read again; the files' bytes are the core's business (tests/archive, tests/export,
// tests/editing). A file operation made to fail part-way is reported as the system said it, and leaves
// the window and the archive as they were. Last, the window on every archive of the hostile set.

#include "archive/file_ops.h"
#include "archive/file_system.h"
#include "gui_support.h"
#include "export/png_export.h"
#include "hostile_archives.h"
#include "picture_builder.h"

#include <QCheckBox>
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

    // The folder asked for, the files written, the entries left out named in a warning (HALF.MIP is one
    // byte short), and the line shown again.
    void eachOutputCommandWritesWhatWasSelectedIntoTheChosenFolder() {
        const struct {
            void (Form1::*run)();
            int filter;
            QString selected, written;
        } rows[] = {
            // Every entry, whatever the filter and the selection.
            {&Form1::mnuFileExtractAll_Click, 1, "GLASS.MIP",
             "GLASS.MIP HALF.MIP NOTE.TXT SHIP.3DO WALL.MIP"},
            {&Form1::mnuFileExtractSelectedFiles_Click, kAllFiles, "NOTE.TXT SHIP.3DO", "NOTE.TXT SHIP.3DO"},
            {&Form1::mnuFileSaveAsBMP_Click, 1, "WALL.MIP GLASS.MIP HALF.MIP",
             "GLASS.bmp GLASS_ti.bmp WALL.bmp WALL_ti.bmp"},
            {&Form1::mnuFileSaveAsJPG_Click, 1, "WALL.MIP", "WALL.jpg"},
        };
        for (const auto& row : rows) {
            Window s(filesPath, row.filter);
            s.select(row.selected.split(' '));
            QTemporaryDir out;
            s.d.answers = {out.path()};
            s.run(row.run);
            QCOMPARE(s.d.shown.value(0), "folder Please select the destination folder. | " + dataDir.path());
            const QString warning =
                "[Warning] Kelvot: These entries were not written:\n\"HALF.MIP\" (entry 4)";
            QCOMPARE(s.d.shown.value(1).left(warning.size()), row.selected.contains("HALF") ? warning : "");
            QCOMPARE(FilesIn(out.path()), row.written);
            QCOMPARE(s.current(), row.selected.split(' ').last());
        }
    }

    // The quality is read from the settings (letter case ignored), chosen in the menu, one item checked,
    // passed to the export and saved on leaving.
    void theJpegQualityIsRememberedAndReachesTheFiles() {
        OpenSettings()->setValue("JPEGQuality/JPGQuality", "bad");
        QTemporaryDir bad, average;
        {
            Window s(filesPath);
            QVERIFY(s.w.jpegQuality() == JpegQuality::Bad);
            s.select({"WALL.MIP"});
            s.d.answers = {QString(), bad.path(), average.path()};
            s.run(&Form1::mnuFileSaveAsJPG_Click); // cancelled: nothing is written
            QCOMPARE(FilesIn(dataDir.path()), QStringLiteral("FILES.DAT"));
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
        QVERIFY(Window().w.mnuFileJPEGQualityItems[3]->isChecked());
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
        QCOMPARE(s.d.messages(),
                 QStringList{
                     "[Warning] Kelvot: These entries were not written:\n\"BIG.MIP\" (entry 0) was not "
                     "exported: its picture is 1100 x 1000 pixels (1.1 megapixels), which would take about "
                     "4 MiB to decode; the limit is 1 megapixel."});
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
        QCOMPARE(s.d.heads(), (QStringList{s.d.shown[0], "input New DAT file", "[Critical] New DAT file",
                                           "input New DAT file", s.d.shown[0], "input New DAT file"}));
        QVERIFY(s.w.archive() == nullptr && FilesIn(folder.path()) == "A.TXT NEW.DAT");
    }

    // Add, remove and rename in turn on one archive, each showing the list read again; a refusal changes
    // nothing, and a name refused is asked for again.
    void editsAskRefuseAndShowTheListReadAgain() {
        QTemporaryDir dir;
        const QString path = WriteArchive(dir.filePath("EDIT.DAT"), {{"A.MIP", DataOfType("MIP", 20)},
                                                                     {"B.MIP", DataOfType("MIP", 9)},
                                                                     {"C.SRB", DataOfType("SRB", 24)}});
        const QByteArray before = ReadBytes(path);
        WriteFile(dir.filePath("NEW.TXT").toStdString(), std::vector<std::uint8_t>(10, 'n'));
        Window s(path);
        s.run(&Form1::mnuFileAdd_Click);
        QCOMPARE(s.d.shown, QStringList{"[Warning] Add Files: Please select the \"All Files\" filter."});
        QCOMPARE(ReadBytes(path), before);
        s.filter(kAllFiles);
        s.d.answers = {dir.filePath("NEW.TXT")};
        s.run(&Form1::mnuFileAdd_Click);
        QCOMPARE(s.lines(), QStringLiteral("A.MIP* B.MIP C.SRB NEW.TXT"));

        const QByteArray added = ReadBytes(path);
        s.d.answers = {"", "yes", "yes"};
        s.run(&Form1::mnuFileRemove_Click); // No
        s.w.List1->selectAll();
        s.run(&Form1::mnuFileRemove_Click);
        const QString ask =
            "ask Confirm file removal: Do you want to remove the selected files from the DAT file?";
        QCOMPARE(s.d.shown.mid(2), (QStringList{ask, ask,
                                                "[Critical] Kelvot: You cannot remove every file in "
                                                "the DAT file."}));
        QCOMPARE(ReadBytes(path), added);
        s.select({"A.MIP", "C.SRB"}); // the lines selected, not just the current one
        s.run(&Form1::mnuFileRemove_Click);
        QCOMPARE(s.lines(), QStringLiteral("B.MIP* NEW.TXT"));

        s.d.answers = {"new.txt", ".MIP", "ZED.MIP"}; // on B.MIP, the first line
        s.run(&Form1::mnuFileRename_Click);
        QCOMPARE(s.d.heads().mid(6),
                 (QStringList{"input Rename file", "[Critical] Rename file", "input Rename file",
                              "[Critical] Rename file", "input Rename file"}));
        QCOMPARE(s.lines(), QStringLiteral("NEW.TXT ZED.MIP*"));
    }

    // A file operation made to fail part-way, or an archive changed since the window read it (error 0),
    // with the second line selected: the edits must work on the directory the window showed, not read it
    // again. The exports report failures as extraction does (the same code); which files a failure leaves
    // behind is tests/editing/fault_injection_test's business.
    // Import Picture (one picture line), Replace (one line) and Save As PNGs, from the menu's own rule: the
    // new picture shows at once, and a picture reduced to 16 colours is told.
    void importReplaceAndPngs() {
        QTemporaryDir dir;
        const QString path = WriteArchive(dir.filePath("PIC.DAT"),
                                          {{"WALL.MIP", EncodePicture(RandomPicture(PictureKind::Mip, 0, 6, 4, 1))},
                                           {"NOTE.TXT", DataOfType("OTH", 5)}});
        const auto other = EncodePicture(RandomPicture(PictureKind::Mip, 3, 6, 4, 2));
        const QString png = dir.filePath("O.png");
        WriteFile(png.toStdString(), EncodePng(PictureKind::Mip, other, *DecodePicture(PictureKind::Mip, other)));
        Window s(path, kAllFiles);
        const auto enabled = [&](const QStringList& lines) {
            s.select(lines);
            s.w.mnuFile_Click();
            return QString("%1%2%3").arg(s.w.mnuFileImport->isEnabled()).arg(s.w.mnuFileReplace->isEnabled())
                .arg(s.w.mnuFileSaveAsPNG->isEnabled());
        };
        QCOMPARE(enabled({"NOTE.TXT"}), QStringLiteral("011"));
        QCOMPARE(enabled({"NOTE.TXT", "WALL.MIP"}), QStringLiteral("001"));
        QCOMPARE(enabled({"WALL.MIP"}), QStringLiteral("111"));
        const QImage before = s.w.Pic1->picture();
        s.d.answers = {png};
        s.run(&Form1::mnuFileImport_Click);
        QVERIFY(s.d.messages().value(0).startsWith("[None] Import Picture: WALL.MIP: reduced "));
        QCOMPARE(s.current(), QStringLiteral("WALL.MIP"));
        QVERIFY(s.w.Pic1->picture() != before);
        QTemporaryDir out;
        s.d.answers = {out.path()};
        s.run(&Form1::mnuFileSaveAsPNG_Click);
        QCOMPARE(FilesIn(out.path()), QStringLiteral("WALL.png"));
        s.select({"NOTE.TXT"});
        s.d.answers = {png};
        s.run(&Form1::mnuFileReplace_Click);
        QCOMPARE(s.w.archive()->Directory.EntrySizes[1], QFileInfo(png).size());
        QCOMPARE(s.current(), QStringLiteral("NOTE.TXT"));
    }

    void aFailureIsReportedAndLeavesTheWindowAndTheArchiveAsTheyWere() {
        const struct {
            const char* command;
            void (Form1::*run)();
            QString answer; // OUT stands for the folder holding NEW.TXT, the file to add
            FileStep step;
            int nth, error;
        } commands[] = {
            {"extract", &Form1::mnuFileExtractAll_Click, "OUT", FileStep::Create, 3, EDQUOT},
            {"add", &Form1::mnuFileAdd_Click, "OUT/NEW.TXT", FileStep::Write, 2, ENOSPC},
            {"remove", &Form1::mnuFileRemove_Click, "yes", FileStep::Read, 3, EIO},
            {"rename", &Form1::mnuFileRename_Click, "ZED.MIP", FileStep::Write, 1, EROFS},
            {"remove from a changed archive", &Form1::mnuFileRemove_Click, "yes", FileStep::Read, 0, 0},
            {"rename in a changed archive", &Form1::mnuFileRename_Click, "ZED.MIP", FileStep::Write, 0, 0},
        };
        std::vector<TestEntry> entries;
        for (std::uint8_t code = 0; code < 6; ++code)
            entries.push_back({"P" + std::to_string(code) + ".MIP",
                               EncodePicture(RandomPicture(PictureKind::Mip, code, 40, 30, code))});
        for (const auto& command : commands) {
            const QString context = QString::fromLatin1(command.command) + ": ";
            QTemporaryDir dir, out;
            const QString path = WriteArchive(dir.filePath("FAULT.DAT"), entries);
            WriteFile(out.filePath("NEW.TXT").toStdString(), std::vector<std::uint8_t>(5000, 'n'));
            Window s(path, kAllFiles); // All files: the add command asks for it
            s.selectRow(1, context);
            const QString lines = s.lines();
            if (command.error == 0) WriteArchive(path, {{"X.MIP", DataOfType("MIP", 5)}, entries[1]});
            const QByteArray before = ReadBytes(path);
            s.d.answers = {QString(command.answer).replace("OUT", out.path())};
            int calls = 0; // the nth call of the step fails
            const FileFaultHook previous = SetFileFaultHook([&](FileStep step, const std::filesystem::path&) {
                return step == command.step && ++calls == command.nth ? command.error : 0;
            });
            s.run(command.run, context);
            SetFileFaultHook(previous);
            const QString cause = command.error ? QString::fromUtf8(std::strerror(command.error))
                                                : QStringLiteral("has changed since it was opened");
            const QStringList messages = s.d.messages();
            QVERIFY2(messages.size() == 1 && messages[0].contains(cause) &&
                         messages[0].startsWith("[None] Kelvot: The following error occurred:\n"),
                     qPrintable(context + messages.join('|')));
            QVERIFY2(s.lines() == lines && ReadBytes(path) == before, qPrintable(context + s.lines()));
        }
    }

    // The window on every archive of the hostile set: it opens it or says why not, shows its lines one by
    // one (with the mask, and the enlarged view of pictures), saves the pictures as BMP and JPEG files and
    // extracts every entry, without crashing, without a message that shows the program's insides and
    // without changing the archive. Where the files go is tests/cli/hostile_archives_test's business.
    void everyHostileArchiveIsShownAndWrittenOut() {
        for (const HostileArchive& hostile : HostileArchives()) {
            const QString context = QString::fromStdString(hostile.name) + ": ";
            QTemporaryDir dir;
            const QString out = dir.filePath("a/b"); // should a name climb two folders up, it stays in dir
            QDir().mkpath(out);
            const QString path = dir.filePath("ARCH.DAT");
            WriteFile(path.toStdString(), hostile.bytes);

            Window s({}, kAllFiles);
            Form1& w = s.w;
            w.Check1->setChecked(true);
            w.OpenArchiveByPath("ARCH.DAT", path);
            QVERIFY2(w.archive() != nullptr || !s.d.messages().isEmpty(), qPrintable(context));

            // Each line in turn (the first hundred and the last of a long list), pictures enlarged too.
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
            QVERIFY2(ReadWholeFile(path.toStdString()) == hostile.bytes, qPrintable(context));
        }
    }
};

QTEST_MAIN(CommandsTest)
#include "commands_test.moc"
