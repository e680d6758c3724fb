#include "app/form1.h"
#include "app/settings.h"
#include "app/window_layout.h"
#include "archive_builder.h"
#include "scripted_dialogs.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace kelvot;
using namespace kelvot::app;
using namespace kelvot::testkit;

class Form1Test : public QObject {
    Q_OBJECT

    QTemporaryDir settingsDir, dataDir;

    QString Write(const QString& name, const std::vector<std::uint8_t>& bytes) {
        const QString path = dataDir.filePath(name);
        WriteFile(path.toStdString(), bytes);
        return path;
    }
    static QStringList Lines(const Form1& w) {
        QStringList lines;
        for (int i = 0; i < w.List1->count(); ++i)
            lines << w.List1->item(i)->text();
        return lines;
    }
    static std::vector<std::uint8_t> Mixed() {
        return BuildArchive({{"zeta.mip", DataOfType("MIP")},
                             {"Beta.SRB", DataOfType("SRB")},
                             {"alpha.pbf", DataOfType("PBF")},
                             {"ship.3do", DataOfType("3DO")},
                             {"notes.txt", DataOfType("OTH")}});
    }
    // Opens path through the open command, as a user would.
    static void Open(Form1& w, ScriptedDialogs& d, const QString& path) {
        d.openAnswers.push_back(path);
        w.Command1_Click();
    }

  private slots:
    void initTestCase() {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    }
    void init() { OpenSettings()->clear(); }

    void startupFillsTheFilterAndShowsNothing() {
        ScriptedDialogs d;
        Form1 w(d);
        w.show();
        QCOMPARE(w.Combo1->count(), 6);
        QCOMPARE(w.Combo1->itemText(0), QStringLiteral("3DO files"));
        QCOMPARE(w.Combo1->itemText(5), QStringLiteral("All files"));
        QCOMPARE(w.Combo1->currentText(), QStringLiteral("All image files"));
        QCOMPARE(w.List1->count(), 0);
        QCOMPARE(w.List1->selectionMode(), QAbstractItemView::ExtendedSelection);
        QCOMPARE(w.Label2->text(), QStringLiteral("DAT file:"));
        QCOMPARE(w.windowTitle(), QStringLiteral("Kelvot"));
        QVERIFY(d.messages.isEmpty());
        QVERIFY(w.archive() == nullptr);
    }

    void openingListsSortedNamesAndShowsThePath() {
        ScriptedDialogs d;
        Form1 w(d);
        w.show();
        const QString path = Write("MIXED.DAT", Mixed());
        Open(w, d, path);
        QCOMPARE(d.openTitles, QStringList{QStringLiteral("Open DAT file")});
        QCOMPARE(w.Label2->text(), QStringLiteral("DAT file:  ") + path);
        QCOMPARE(Lines(w), (QStringList{"alpha.pbf", "Beta.SRB", "zeta.mip"}));
        QCOMPARE(w.List1->currentRow(), 0);
        QVERIFY(w.List1->item(0)->isSelected());
        QCOMPARE(w.windowTitle(), QStringLiteral("alpha.pbf"));
        QCOMPARE(w.recentArchives().count(), 1);
        QCOMPARE(w.recentArchives().title(1), QStringLiteral("MIXED.DAT"));
        QVERIFY(w.updatesEnabled());
        QVERIFY(d.messages.isEmpty());
    }

    void eachFilterChoiceKeepsItsTypes() {
        ScriptedDialogs d;
        Form1 w(d);
        w.show();
        Open(w, d, Write("MIXED.DAT", Mixed()));
        const QList<QStringList> expected = {{"ship.3do"},
                                             {"zeta.mip"},
                                             {"alpha.pbf"},
                                             {"Beta.SRB"},
                                             {"alpha.pbf", "Beta.SRB", "zeta.mip"},
                                             {"alpha.pbf", "Beta.SRB", "notes.txt", "ship.3do", "zeta.mip"}};
        for (int i = 0; i < 6; ++i) {
            w.Combo1->setCurrentIndex(i);
            QCOMPARE(Lines(w), expected[i]);
            QCOMPARE(w.List1->currentRow(), 0);
            QVERIFY(w.updatesEnabled());
        }
    }

    void namesEqualIgnoringCaseFollowTheFirstEntrysType() {
        ScriptedDialogs d;
        Form1 w(d);
        w.show();
        Open(
            w, d,
            Write("DUP.DAT", BuildArchive({{"door.lp", DataOfType("MIP")}, {"DOOR.LP", DataOfType("SRB")}})));
        QCOMPARE(Lines(w), (QStringList{"door.lp", "DOOR.LP"}));
        w.Combo1->setCurrentIndex(3); // SRB files
        QCOMPARE(w.List1->count(), 0);
        w.Combo1->setCurrentIndex(1); // MIP files
        QCOMPARE(Lines(w), (QStringList{"door.lp", "DOOR.LP"}));
    }

    void aFilterThatLeavesNothingStillOpensTheArchive() {
        ScriptedDialogs d;
        Form1 w(d);
        w.show();
        const QString path =
            Write("PLAIN.DAT", BuildArchive({{"a.3do", DataOfType("3DO")}, {"b.txt", DataOfType("OTH")}}));
        Open(w, d, path);
        QCOMPARE(w.List1->count(), 0);
        QCOMPARE(w.Label2->text(), QStringLiteral("DAT file:  ") + path);
        QCOMPARE(w.recentArchives().path(1), path); // still recorded as recent
        QVERIFY(w.updatesEnabled());
    }

    void aFailedOpenKeepsThePreviousArchive() {
        ScriptedDialogs d;
        Form1 w(d);
        w.show();
        const QString good = Write("GOOD.DAT", Mixed());
        Open(w, d, good);
        const ArchiveModel* before = w.archive();
        w.List1->setCurrentRow(2, QItemSelectionModel::ClearAndSelect);

        Open(w, d, Write("EMPTY.DAT", {}));
        Open(w, d, Write("ZERO.DAT", {0, 0, 1, 2}));
        QCOMPARE(d.messages.size(), 2);
        QCOMPARE(d.messages[0].icon, MessageIcon::None);
        QCOMPARE(d.messages[0].title, QStringLiteral("Kelvot"));
        QCOMPARE(d.messages[0].text, QStringLiteral("Error 1001 reading file.\nThe file is empty."));
        QVERIFY(d.messages[1].text.startsWith(QStringLiteral("Error 1001 reading file.\nThe entry count")));
        QCOMPARE(w.archive(), before);
        QCOMPARE(w.currentArchivePath(), good);
        QCOMPARE(w.Label2->text(), QStringLiteral("DAT file:  ") + good);
        QCOMPARE(Lines(w), (QStringList{"alpha.pbf", "Beta.SRB", "zeta.mip"}));
        QCOMPARE(w.List1->currentRow(), 2);
        QVERIFY(w.updatesEnabled());
    }

    void cancellingTheDialogChangesNothing() {
        ScriptedDialogs d;
        Form1 w(d);
        w.show();
        w.Command1_Click();
        QVERIFY(w.archive() == nullptr);
        QVERIFY(d.messages.isEmpty());
        QCOMPARE(w.Label2->text(), QStringLiteral("DAT file:"));
    }

    void aMissingRecentPathSaysSoAndChangesNothing() {
        ScriptedDialogs d;
        Form1 w(d);
        w.show();
        const QString good = Write("GOOD.DAT", Mixed());
        w.OpenArchiveByPath(QStringLiteral("GOOD.DAT"), good);
        const QString gone = dataDir.filePath(QStringLiteral("GONE.DAT"));
        w.OpenArchiveByPath(QStringLiteral("GONE.DAT"), gone);
        QCOMPARE(d.messages.size(), 1);
        QCOMPARE(d.messages[0].icon, MessageIcon::Critical);
        QCOMPARE(d.messages[0].title, QStringLiteral("Kelvot"));
        QCOMPARE(d.messages[0].text,
                 QStringLiteral("The file ") + gone +
                     QStringLiteral(" does not exist.\nYou may have deleted it or moved it "
                                    "to another folder."));
        QCOMPARE(w.currentArchivePath(), good);
        QCOMPARE(w.List1->count(), 3);
    }

    void changingTheFilterReadsTheFileAgain() {
        ScriptedDialogs d;
        Form1 w(d);
        w.show();
        const QString path = Write("LIVE.DAT", Mixed());
        Open(w, d, path);
        Write("LIVE.DAT", BuildArchive({{"new.mip", DataOfType("MIP")}}));
        w.Combo1->setCurrentIndex(5);
        QCOMPARE(Lines(w), QStringList{"new.mip"});

        // Gone from disk: the list keeps what it showed and the filter goes back to match it.
        QFile::remove(path);
        w.Combo1->setCurrentIndex(0);
        QCOMPARE(d.messages.size(), 1);
        QVERIFY(d.messages[0].text.contains(QStringLiteral("No such file or directory")));
        QCOMPARE(w.Combo1->currentIndex(), 5);
        QCOMPARE(Lines(w), QStringList{"new.mip"});
        QVERIFY(w.updatesEnabled());
    }

    void severalSelectedLinesClearTheCaption() {
        ScriptedDialogs d;
        Form1 w(d);
        w.show();
        Open(w, d, Write("MIXED.DAT", Mixed()));
        w.List1->item(1)->setSelected(true);
        QCOMPARE(w.List1->selectedItems().size(), 2);
        QCOMPARE(w.windowTitle(), QStringLiteral("Kelvot"));
        QVERIFY(!w.Pic1->isEnabled());
        w.List1->setCurrentRow(2, QItemSelectionModel::ClearAndSelect);
        QCOMPARE(w.windowTitle(), QStringLiteral("zeta.mip"));
        QVERIFY(w.Pic1->isEnabled());
    }

    void theJpegQualitySurvivesARun() {
        OpenSettings()->setValue(QStringLiteral("JPEGQuality/JPGQuality"), QStringLiteral("good"));
        {
            ScriptedDialogs d;
            Form1 w(d);
            QVERIFY(w.jpegQuality() == JpegQuality::Good); // letter case is ignored
            QVERIFY(w.mnuFileJPEGQualityItems[1]->isChecked());
            w.show();
            w.close();
        }
        QCOMPARE(OpenSettings()->value(QStringLiteral("JPEGQuality/JPGQuality")).toString(),
                 QStringLiteral("Good"));
        OpenSettings()->clear();
        ScriptedDialogs d;
        Form1 w(d);
        QVERIFY(w.jpegQuality() == JpegQuality::Superb);
        QVERIFY(w.mnuFileJPEGQualityItems[0]->isChecked());
    }

    void theFolderPickerStartsWhereTheArchiveIs() {
        ScriptedDialogs d;
        Form1 w(d);
        w.show();
        d.folderAnswers = {QStringLiteral("/tmp/out")};
        w.PackingMode = true;
        w.BrowseForFolder();
        QCOMPARE(w.ChosenFolder, QStringLiteral("/tmp/out"));
        QCOMPARE(d.folderPrompts[0].first,
                 QStringLiteral("Please select the folder containing the files that you wish to pack."));
        QCOMPARE(d.folderPrompts[0].second, QDir::currentPath());

        w.OpenArchiveByPath(QStringLiteral("M.DAT"), Write("M.DAT", Mixed()));
        w.PackingMode = false;
        w.BrowseForFolder(); // cancelled
        QCOMPARE(w.ChosenFolder, QString());
        QCOMPARE(d.folderPrompts[1].first, QStringLiteral("Please select the destination folder."));
        QCOMPARE(d.folderPrompts[1].second, dataDir.path());
    }

    void theAboutBoxShowsTheProgramsIcon() {
        ScriptedDialogs d;
        Form1 w(d);
        w.mnuHelpAbout_Click();
        QCOMPARE(d.abouts.size(), 1);
        QCOMPARE(d.abouts[0].title, QStringLiteral("Kelvot"));
        QCOMPARE(d.abouts[0].text,
                 QStringLiteral("        Kelvot\n\n        Version 1.2.0\n\n        Author: Kelvot "
                                "contributors    "));
        QCOMPARE(d.aboutIcon.size(), QSize(48, 48));
    }

    void layoutFollowsTheScreen() {
        // A 1024 x 768 screen with a 30-pixel task bar at the bottom.
        const WindowLayout l = ComputeWindowLayout(1024, 768, 0, 738);
        QCOMPARE(l.window.width, 768.0);
        QCOMPARE(l.window.height, 738.0);
        QCOMPARE(l.window.left, 128.0);
        QCOMPARE(l.window.top, 0.0);
        QCOMPARE(l.List1.width, 256.0);
        QCOMPARE(l.List1.height, 576.0);
        QCOMPARE(l.List1.left, 480.0);
        QVERIFY(qAbs(l.List1.top - 82.656) < 1e-9);
        QCOMPARE(l.Command1.left, 24.0);
        QCOMPARE(l.Command1.width, 97.0);
    }
};

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
