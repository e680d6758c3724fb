// Start-up, opening an archive, the list as each filter shows it, and the menus: their enabling rule,
// the recent archives and the about box.

#include "gui_support.h"

#include <QLabel>
#include <QMenu>
#include <QtTest>

using namespace kelvot;
using namespace kelvot::app;
using namespace kelvot::testkit;

class Form1Test : public QObject {
    Q_OBJECT

    QTemporaryDir dataDir;

    QString Mixed(const QString& name) {
        return WriteArchive(dataDir.filePath(name), {{"zeta.mip", DataOfType("MIP")},
                                                     {"Beta.SRB", DataOfType("SRB")},
                                                     {"alpha.pbf", DataOfType("PBF")},
                                                     {"ship.3do", DataOfType("3DO")},
                                                     {"notes.txt", DataOfType("OTH")}});
    }
    static QStringList Recent(const Form1& w) {
        QStringList captions;
        for (int n = 1; n <= 4; ++n)
            if (w.mnuFileMRU[n]->isVisible()) captions << w.mnuFileMRU[n]->text();
        return captions;
    }

  private slots:
    void initTestCase() { UseTemporarySettings(); }
    void init() { OpenSettings()->clear(); }

    // The open command, then each filter choice: the combo's order must match the filters'.
    void startUpThenOpeningShowsThePathAndEachFilterItsLines() {
        Window s;
        QCOMPARE(s.w.Combo1->currentText() + " | " + s.w.Label2->text() + " | " + s.w.windowTitle(),
                 QStringLiteral("All image files | DAT file: | Kelvot"));
        QVERIFY(s.w.List1->count() == 0 && s.w.archive() == nullptr);
        const QString path = Mixed("MIXED.DAT");
        s.d.openAnswers = {path};
        s.run(&Form1::Command1_Click);
        QCOMPARE(s.d.openTitles, QStringList{"Open DAT file"});
        QCOMPARE(s.w.Label2->text(), "DAT file:  " + path);
        QCOMPARE(s.lines(), (QStringList{"alpha.pbf", "Beta.SRB", "zeta.mip"}));
        QVERIFY(s.w.List1->item(0)->isSelected());
        QCOMPARE(s.w.windowTitle(), QStringLiteral("alpha.pbf"));
        const char* expected[] = {"3DO files: ship.3do",
                                  "MIP files: zeta.mip",
                                  "PBF files: alpha.pbf",
                                  "SRB files: Beta.SRB",
                                  "All image files: alpha.pbf Beta.SRB zeta.mip",
                                  "All files: alpha.pbf Beta.SRB notes.txt ship.3do zeta.mip"};
        for (int i = 0; i < 6; ++i) {
            s.w.Combo1->setCurrentIndex(i);
            QCOMPARE(s.w.Combo1->currentText() + ": " + s.lines().join(' '), QString(expected[i]));
            QCOMPARE(s.w.List1->currentRow(), 0);
        }
        QCOMPARE(s.d.messages, QStringList());

        // A filter that leaves no line still opens the archive.
        s.w.Combo1->setCurrentIndex(4);
        const QString plain = WriteArchive(dataDir.filePath("PLAIN.DAT"), {{"a.3do", DataOfType("3DO")}});
        s.w.OpenArchiveByPath("PLAIN.DAT", plain);
        QCOMPARE(s.w.List1->count(), 0);
        QCOMPARE(s.w.windowTitle(), QStringLiteral("Kelvot")); // not the last archive's entry
        QCOMPARE(s.w.Label2->text(), "DAT file:  " + plain);
        QCOMPARE(Recent(s.w), (QStringList{"&1 PLAIN.DAT", "&2 MIXED.DAT"}));
    }

    // An open cancelled or failed keeps the archive shown, its lines and its selection. Changing the
    // filter reads the file again; gone from disk, the list stays and the filter goes back to match it.
    void aFailedOpenKeepsThePreviousArchive() {
        const QString good = Mixed("GOOD.DAT");
        Window s(good);
        const ArchiveModel* before = s.w.archive();
        s.selectRow(2);
        WriteFile(dataDir.filePath("ZERO.DAT").toStdString(), {0, 0, 1, 2});
        s.d.openAnswers = {QString(), dataDir.filePath("ZERO.DAT")};
        s.run(&Form1::Command1_Click);
        s.run(&Form1::Command1_Click);
        QCOMPARE(s.d.messages.size(), 1);
        QVERIFY(s.d.messages[0].startsWith("[None] Kelvot: Error 1001 reading file.\nThe entry count"));
        QVERIFY(s.w.archive() == before && s.w.currentArchivePath() == good);
        QCOMPARE(s.w.Label2->text(), "DAT file:  " + good);
        QCOMPARE(s.lines(), (QStringList{"alpha.pbf", "Beta.SRB", "zeta.mip"}));
        QCOMPARE(s.w.List1->currentRow(), 2);
        QCOMPARE(Recent(s.w), QStringList{"&1 GOOD.DAT"});

        WriteArchive(good, {{"new.mip", DataOfType("MIP")}});
        s.w.Combo1->setCurrentIndex(kAllFiles);
        QCOMPARE(s.lines(), QStringList{"new.mip"});
        QFile::remove(good);
        s.w.Combo1->setCurrentIndex(0);
        QCOMPARE(s.d.messages.size(), 2);
        QVERIFY(s.d.messages[1].contains("No such file or directory"));
        QCOMPARE(s.w.Combo1->currentIndex(), kAllFiles);
        QCOMPARE(s.lines(), QStringList{"new.mip"});
        QCOMPARE(s.leftovers(), QString());
    }

    void recentArchivesKeepTheLastFourAndSurviveARun() {
        {
            Window s;
            QVERIFY(!s.w.mnuFileMRUSep->isVisible() && Recent(s.w).isEmpty());
            for (const char* name : {"A.DAT", "B.DAT", "C.DAT", "D.DAT", "E.DAT"})
                s.w.OpenArchiveByPath(name, Mixed(name));
            QVERIFY(s.w.mnuFileMRUSep->isVisible());
            s.w.mnuFileMRU_Click(4); // B again
            QCOMPARE(Recent(s.w), (QStringList{"&1 B.DAT", "&2 E.DAT", "&3 D.DAT", "&4 C.DAT"}));
        }
        // A gap ends the list; a file gone since says so and changes nothing.
        OpenSettings()->remove("MRU/Title2");
        Window s;
        QCOMPARE(Recent(s.w), QStringList{"&1 B.DAT"});
        const QString gone = dataDir.filePath("B.DAT");
        QFile::remove(gone);
        s.w.mnuFileMRU_Click(1);
        QCOMPARE(s.d.messages, QStringList{"[Critical] Kelvot: The file " + gone +
                                           " does not exist.\nYou may have deleted it or moved it to "
                                           "another folder."});
        QVERIFY(s.w.archive() == nullptr);
        QCOMPARE(Recent(s.w), QStringList{"&1 B.DAT"});

        RecentArchives recent; // paths are compared ignoring case
        recent.Add("a.dat", "C:/X/a.dat");
        recent.Add("A.DAT", "c:/x/A.DAT");
        QCOMPARE(recent.count(), 1);
    }

    void theEnablingRuleFollowsTheList() {
        Window s;
        Form1& w = s.w;
        auto enabled = [&] { // save as BMP, JPEG, extract selected, extract all, remove, add, rename
            w.mnuFile_Click();
            QString flags;
            for (QAction* a : {w.mnuFileSaveAsBMP, w.mnuFileSaveAsJPG, w.mnuFileExtractSelectedFiles,
                               w.mnuFileExtractAll, w.mnuFileRemove, w.mnuFileAdd, w.mnuFileRename})
                flags += a->isEnabled() ? '1' : '0';
            return flags;
        };
        QCOMPARE(enabled(), QStringLiteral("0000000")); // nothing open
        w.OpenArchiveByPath("A.DAT", Mixed("A.DAT"));
        w.List1->clearSelection();
        QCOMPARE(enabled(), QStringLiteral("1111111")); // lines, none selected
        w.List1->selectAll();
        QCOMPARE(enabled(), QStringLiteral("1111110"));

        // A right click raises the pop-up menu, with the same rule, and leaves the selection as it was.
        const QPoint line = w.List1->visualItemRect(w.List1->item(0)).center();
        QTest::mouseClick(w.List1->viewport(), Qt::RightButton, Qt::NoModifier, line);
        QVERIFY(w.mnuHidden->isVisible());
        QVERIFY(!w.mnuHiddenRename->isEnabled() && w.mnuHiddenAdd->isEnabled());
        w.mnuHidden->close();
        QCOMPARE(w.List1->selectedItems().size(), w.List1->count());

        // A pop-up item runs its twin; the Delete key asks before removing anything.
        w.mnuHiddenOpen->trigger();
        QCOMPARE(s.d.openTitles, QStringList{"Open DAT file"});
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTest::keyClick(&w, Qt::Key_Delete);
        QCOMPARE(s.d.questions.size(), 1);
    }

    void theAboutBoxShowsTheVersionAndTheProgramsIcon() {
        Window s;
        s.w.mnuHelpAbout_Click();
        QCOMPARE(s.d.aboutText, QStringLiteral("Kelvot:         Kelvot\n\n        Version " KELVOT_VERSION
                                               "\n\n        Author: Kelvot contributors    "));
        QCOMPARE(s.d.aboutIcon.size(), QSize(48, 48));
    }
};

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
