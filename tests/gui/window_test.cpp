// The window as a user meets it: opening, the filters and the name filter, the menus' rules, the recent
// archives, the about box, and what the preview, the mask, the status bar and the enlarged view show for the
// selected lines.

#include "gui_support.h"
#include "images/fitting.h"
#include "picture_builder.h"

#include <QActionGroup>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QWindow>
#include <QtTest>

using namespace kelvot;
using namespace kelvot::app;
using namespace kelvot::testkit;

namespace {

// A picture of one pixel value; for codes 0-2 that colour is blue 10, green 20, red 30, transparency 128.
std::vector<std::uint8_t> Plain(PictureKind kind, std::uint8_t code, std::int16_t w, std::int16_t h,
                                std::uint16_t pixel) {
    PictureSpec picture = RandomPicture(kind, code, w, h, 0);
    picture.Pixels.assign(picture.Pixels.size(), pixel);
    picture.Mapp = 1;
    if (code < 3)
        std::copy_n(std::array<std::uint8_t, 4>{10, 20, 30, 128}.begin(), 4, &picture.Colours[4 * pixel]);
    return EncodePicture(picture);
}

// The caption, the panels, then each box: "-" when empty, else whether it is drawn where it fits.
QString Preview(const Form1& w) {
    QStringList texts;
    for (const QLabel* panel : w.Panels)
        texts << panel->text();
    for (const PictureBox* box : {w.Pic1, w.Pic2}) {
        const DrawRect r =
            FitPicture(box->width(), box->height(), box->picture().width(), box->picture().height());
        texts << (box->isEmpty()                                        ? "-"
                  : box->target() == QRect(r.x, r.y, r.width, r.height) ? "fitted"
                                                                        : "misplaced");
    }
    return w.windowTitle() + ": " + texts.join('|');
}

// The path above the list, the caption and the recent archives of the File menu.
QString Shown(const Form1& w) {
    QStringList recent;
    for (int n = 1; n <= 4; ++n)
        if (w.mnuFileMRU[n]->isVisible()) recent << w.mnuFileMRU[n]->text();
    return w.Label2->text() + " | " + w.windowTitle() + " | " + recent.join(' ');
}

void Wheel(Form1& w, int delta) {
    QWheelEvent event(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(w.windowHandle(), &event);
}

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir dataDir;
    QString previewPath;

    QString Mixed(const QString& name) {
        return WriteArchive(dataDir.filePath(name), {{"zeta.mip", DataOfType("MIP")},
                                                     {"Beta.SRB", DataOfType("SRB")},
                                                     {"alpha.pbf", DataOfType("PBF")},
                                                     {"ship.3do", DataOfType("3DO")},
                                                     {"notes.txt", DataOfType("OTH")}});
    }

  private slots:
    void initTestCase() {
        UseTemporarySettings();
        auto half = Plain(PictureKind::Srb, 3, 64, 64, 0xFFFF);
        half.pop_back(); // one byte short of its last pixel
        previewPath =
            WriteArchive(dataDir.filePath("PREVIEW.DAT"),
                         {{"WALL.MIP", Plain(PictureKind::Mip, 3, 128, 64, 0xF800)},
                          {"GLASS.MIP", Plain(PictureKind::Mip, 1, 8, 2, 3)},
                          {"HALF.SRB", half},
                          {"ODD7.MIP", Plain(PictureKind::Mip, 7, 4, 4, 0)}, // nothing decodes code 7
                          {"READ.ME", DataOfType("OTH", 3000)}});
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); // sizes in the user's numbers
    }
    void init() { OpenSettings()->clear(); }

    // The about box at start-up; the open command, then each filter (the combo's order must match the
    // filters'), each showing its first line; a filter that leaves no line still opens an archive.
    void startUpThenOpeningShowsThePathAndEachFilterItsLines() {
        Window s;
        QCOMPARE(s.w.Combo1->currentText() + " | " + Shown(s.w),
                 QStringLiteral("All image files | DAT file: | Kelvot | "));
        QVERIFY(s.w.List1->count() == 0 && s.w.archive() == nullptr && !s.w.mnuFileMRUSep->isVisible());
        s.w.mnuHelpAbout_Click();
        QCOMPARE(s.d.shown.takeFirst(), "about Kelvot:         Kelvot\n\n        Version " KELVOT_VERSION
                                        "\n\n        Author: Kelvot contributors    ");
        QCOMPARE(s.d.aboutIcon.size(), QSize(48, 48));
        const QString path = Mixed("MIXED.DAT");
        s.d.answers = {path};
        s.run(&Form1::Command1_Click);
        QCOMPARE(Shown(s.w), "DAT file:  " + path + " | alpha.pbf | &1 MIXED.DAT");
        QVERIFY(s.w.List1->item(0)->isSelected() && s.w.mnuFileMRUSep->isVisible());
        QStringList lists;
        for (int i = 0; i < 6; ++i) {
            s.filter(i);
            lists << s.w.Combo1->currentText() + ": " + s.lines();
        }
        QCOMPARE(lists, (QStringList{"3DO files: ship.3do*", "MIP files: zeta.mip*", "PBF files: alpha.pbf*",
                                     "SRB files: Beta.SRB*", "All image files: alpha.pbf* Beta.SRB zeta.mip",
                                     "All files: alpha.pbf* Beta.SRB notes.txt ship.3do zeta.mip"}));
        s.filter(4);
        const QString plain = WriteArchive(dataDir.filePath("PLAIN.DAT"), {{"a.3do", DataOfType("3DO")}});
        s.w.OpenArchiveByPath("PLAIN.DAT", plain);
        QCOMPARE(s.lines() + " | " + Shown(s.w),
                 " | DAT file:  " + plain + " | Kelvot | &1 PLAIN.DAT &2 MIXED.DAT");
    }

    // An open cancelled or failed keeps the archive shown, its lines and its selection. Changing the
    // filter reads the file again; gone from disk, the list stays and the filter goes back to match it.
    void aFailedOpenKeepsThePreviousArchive() {
        const QString good = Mixed("GOOD.DAT");
        Window s(good);
        const ArchiveModel* before = s.w.archive();
        s.selectRow(2);
        WriteFile(dataDir.filePath("ZERO.DAT").toStdString(), {0, 0, 1, 2});
        s.d.answers = {QString(), dataDir.filePath("ZERO.DAT")};
        s.run(&Form1::Command1_Click);
        s.run(&Form1::Command1_Click);
        QVERIFY(s.d.shown.size() == 3 && s.d.shown[2].startsWith("[None] Kelvot: Error 1001 reading file."));
        QVERIFY(s.w.archive() == before && s.w.currentArchivePath() == good);
        QCOMPARE(s.lines() + " | " + Shown(s.w),
                 "alpha.pbf Beta.SRB zeta.mip* | DAT file:  " + good + " | zeta.mip | &1 GOOD.DAT");

        WriteArchive(good, {{"new.mip", DataOfType("MIP")}});
        s.filter(kAllFiles);
        QCOMPARE(s.lines(), QStringLiteral("new.mip*"));
        QFile::remove(good);
        s.filter(0);
        QVERIFY(s.d.shown.size() == 4 && s.d.shown[3].contains("No such file or directory"));
        QVERIFY(s.w.Combo1->currentIndex() == kAllFiles && s.lines() == "new.mip*");
    }

    // The last four, most recent first, kept across runs; a gap ends the list; a file gone since says so
    // and changes nothing.
    void recentArchivesKeepTheLastFourAndSurviveARun() {
        {
            Window s;
            for (const char* name : {"A.DAT", "B.DAT", "C.DAT", "D.DAT", "E.DAT"})
                s.w.OpenArchiveByPath(name, Mixed(name));
            s.w.mnuFileMRU_Click(4); // B again
            QVERIFY(Shown(s.w).endsWith("| &1 B.DAT &2 E.DAT &3 D.DAT &4 C.DAT"));
        }
        OpenSettings()->remove("MRU/Title2");
        Window s;
        const QString gone = dataDir.filePath("B.DAT");
        QFile::remove(gone);
        s.w.mnuFileMRU_Click(1);
        QCOMPARE(s.d.shown,
                 QStringList{"[Critical] Kelvot: The file " + gone +
                             " does not exist.\nYou may have deleted it or moved it to another folder."});
        QVERIFY(s.w.archive() == nullptr);
        QCOMPARE(Shown(s.w), QStringLiteral("DAT file: | Kelvot | &1 B.DAT"));
    }

    // Save as BMP, JPEG, PNG, extract selected, extract all, remove, add: lines shown. Rename, replace: and
    // not several selected. Import picture: and the current line a picture.
    void theEnablingRuleFollowsTheList() {
        Window s({}, kAllFiles);
        Form1& w = s.w;
        auto enabled = [&] {
            w.mnuFile_Click();
            QString flags;
            for (QAction* a : {w.mnuFileSaveAsBMP, w.mnuFileSaveAsJPG, w.mnuFileSaveAsPNG,
                               w.mnuFileExtractSelectedFiles, w.mnuFileExtractAll, w.mnuFileRemove,
                               w.mnuFileAdd, w.mnuFileRename, w.mnuFileReplace, w.mnuFileImport})
                flags += a->isEnabled() ? '1' : '0';
            return flags;
        };
        QCOMPARE(enabled(), QStringLiteral("0000000000")); // nothing open
        w.OpenArchiveByPath("A.DAT", Mixed("A.DAT"));
        w.List1->clearSelection();
        QCOMPARE(enabled(), QStringLiteral("1111111111")); // lines, none selected, alpha.pbf current
        s.select({"notes.txt"});
        QCOMPARE(enabled(), QStringLiteral("1111111110"));
        w.List1->selectAll();
        QCOMPARE(enabled(), QStringLiteral("1111111000"));

        // A right click raises the pop-up menu, with the same rule, and leaves the selection as it was.
        const QPoint line = w.List1->visualItemRect(w.List1->item(0)).center();
        QTest::mouseClick(w.List1->viewport(), Qt::RightButton, Qt::NoModifier, line);
        QVERIFY(w.mnuHidden->isVisible() && !w.mnuHiddenRename->isEnabled() && w.mnuHiddenAdd->isEnabled());
        w.mnuHidden->close();
        QCOMPARE(w.List1->selectedItems().size(), w.List1->count());

        // A pop-up item runs its twin; the Delete key asks before removing anything.
        w.mnuHiddenOpen->trigger();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTest::keyClick(&w, Qt::Key_Delete);
        QVERIFY(s.d.shown.size() == 2 && s.d.shown[0] == "open Open DAT file" &&
                s.d.shown[1].startsWith("ask Confirm file removal: "));
    }

    // Each line fills the status bar and the boxes it can (5-6-5 pictures carry no transparency), and the
    // mask follows the check box; several lines clear everything, and a click would enlarge none.
    void eachLineFillsTheStatusBarAndThePictureBoxesItCan() {
        Window s(previewPath, kAllFiles);
        s.w.Check1->setChecked(true);
        for (const QString row :
             {"WALL.MIP: 128 x 64 x 16 BPP|5 / 5|16,09 KB|MIP|Type 3|Mapp 1|0 Sub-images|fitted|-",
              "GLASS.MIP: 8 x 2 x 4 BPP|1 / 5|0,18 KB|MIP|Type 1|Mapp 1|0 Sub-images|fitted|fitted",
              "HALF.SRB: 64 x 64 x 16 BPP|2 / 5|8,19 KB|SRB|Type 3|Mapp 1|0 Sub-images|-|-",
              "READ.ME: |4 / 5|2,93 KB|.ME||||-|-"}) {
            s.select({row.section(':', 0, 0)});
            QCOMPARE(Preview(s.w), row);
        }
        s.select({"GLASS.MIP"});
        QVERIFY(s.w.Pic1->picture().pixel(0, 0) == qRgb(30, 20, 10) &&
                s.w.Pic2->picture().pixel(7, 1) == qRgb(128, 128, 128));
        s.w.Check1->setChecked(false); // unticked, the mask goes and the picture stays
        QVERIFY(s.w.Pic2->isEmpty() && !s.w.Pic1->isEmpty());
        s.w.Check1->setChecked(true);
        s.select({"GLASS.MIP", "WALL.MIP"});
        QVERIFY(Preview(s.w) == "Kelvot: |||||||-|-" && !s.w.Pic1->isEnabled());
        s.select({"GLASS.MIP"});
        QVERIFY(s.w.Pic1->isEnabled() && !s.w.Pic2->isEmpty());
    }

    // Entries are read when shown, from the file the list came from: an archive put in its place by a
    // rename, as another program's edit does, shows once the directory is read again.
    void entriesAreReadFromTheFileTheListCameFrom() {
        QTemporaryDir dir;
        const QString path = dir.filePath("SWAP.DAT");
        QVERIFY(QFile::copy(previewPath, path));
        Window s(path, kAllFiles);
        const QString other = WriteArchive(dir.filePath("NEW.DAT"), {{"ONLY.TXT", DataOfType("OTH", 5)}});
        QVERIFY(QFile::remove(path) && QFile::rename(other, path));
        s.select({"GLASS.MIP"});
        QCOMPARE(Preview(s.w).section('|', 0, 0), "GLASS.MIP: 8 x 2 x 4 BPP");
        QVERIFY(s.w.Pic1->picture().pixel(0, 0) == qRgb(30, 20, 10));
        s.filter(1);
        s.filter(kAllFiles);
        QCOMPARE(s.lines(), QStringLiteral("ONLY.TXT*"));
    }

    // Ctrl+F goes to the name filter; each keystroke narrows the lines, the current one kept while shown,
    // and the status bar's "n / N" and the menus' rule follow what is shown. Delete stays in the box, Escape
    // clears it. Remove refuses every line shown; the text outlives an edit, a filter change and an open.
    void theNameFilterNarrowsTheListAsItIsTyped() {
        Window s(Mixed("NAMES.DAT"), kAllFiles);
        Form1& w = s.w;
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        for (const auto& [keys, expected] : std::initializer_list<std::pair<QString, QString>>{
                 {"Ctrl+F t", "Beta.SRB* notes.txt zeta.mip | 1 / 3 | 1"},
                 {"E", "notes.txt* | 1 / 1 | 1"},
                 {"Backspace", "Beta.SRB notes.txt* zeta.mip | 2 / 3 | 1"},
                 {"Home Delete", "alpha.pbf Beta.SRB notes.txt* ship.3do zeta.mip | 3 / 5 | 1"},
                 {"*.?r?", "Beta.SRB* | 1 / 1 | 1"},
                 {"x", " |  | 0"},
                 {"Escape", "alpha.pbf* Beta.SRB notes.txt ship.3do zeta.mip | 1 / 5 | 1"}}) {
            for (const QString& key : keys.split(' ')) // a key's name, else text typed
                key.size() > 1 && key[0].isUpper()
                    ? QTest::keySequence(QApplication::focusWidget(), QKeySequence(key))
                    : QTest::keyClicks(QApplication::focusWidget(), key);
            w.mnuFile_Click();
            QVERIFY(w.Text1->hasFocus());
            QCOMPARE(s.lines() + " | " + w.Panels[1]->text() + " | " +
                         QString::number(w.mnuFileRemove->isEnabled()),
                     expected);
            s.settled(keys + ": ");
        }
        QVERIFY(s.d.shown.isEmpty());
        QTest::keyClicks(w.Text1, "a");
        w.List1->selectAll();
        s.d.answers = {"yes", "yes"};
        s.run(&Form1::mnuFileRemove_Click);
        QCOMPARE(s.d.messages(),
                 QStringList{"[Critical] Kelvot: You cannot remove every file in the DAT file."});
        s.select({"Beta.SRB"});
        s.run(&Form1::mnuFileRemove_Click);
        QCOMPARE(s.lines(), QStringLiteral("alpha.pbf* zeta.mip"));
        s.filter(1);
        QCOMPARE(s.lines(), QStringLiteral("zeta.mip*"));
        s.filter(kAllFiles);
        w.OpenArchiveByPath("B.DAT", Mixed("B.DAT"));
        QCOMPARE(s.lines(), QStringLiteral("alpha.pbf* Beta.SRB zeta.mip"));
    }

    // View > Thumbnails shows the list's own lines and selection, each picture decoded in the background and
    // anything else as a plain icon (a null image); it is remembered, and going back keeps the selection.
    void thumbnailsShowTheListsLinesAndSelection() {
        Window s(previewPath, kAllFiles);
        s.select({"GLASS.MIP", "READ.ME"});
        s.w.mnuViewThumbnails->trigger();
        QVERIFY(s.w.Thumbs->isVisible() && !s.w.List1->isVisible());
        QVERIFY(OpenSettings()->value("View/Thumbnails").toBool());
        QCOMPARE(s.w.Thumbs->selectionModel()->selectedRows().size(), 2);
        QTRY_COMPARE(s.w.Thumbs->decodedCount(), 5);
        QStringList shown;
        for (int row = 0; row < s.w.List1->count(); ++row) {
            const QImage image = s.w.Thumbs->thumbnail(row).value();
            shown << (image.isNull() ? "-" : QString("%1x%2").arg(image.width()).arg(image.height()));
        }
        QCOMPARE(shown.join(' '), "8x2 - - - 128x64"); // GLASS, HALF (cut), ODD7, READ.ME, WALL
        s.w.mnuViewThumbnails->trigger();
        QVERIFY(s.w.List1->isVisible() && s.current() == "READ.ME");
        QCOMPARE(s.w.List1->selectionModel()->selectedRows().size(), 2);
    }

    void theEnlargedViewStepsThroughTheList() {
        Window s(previewPath, kAllFiles); // GLASS, HALF, ODD7, READ.ME, WALL
        Form1& w = s.w;
        w.Check1->setChecked(true);
        const QSize normal = w.Pic1->size();
        Wheel(w, -120); // the normal view ignores the wheel (and the keys and buttons, the same rule)
        QCOMPARE(s.current(), QStringLiteral("GLASS.MIP"));
        s.select({"READ.ME"});
        w.List1_DblClick(); // only pictures enlarge
        QVERIFY(w.normalView());
        s.select({"GLASS.MIP"});
        w.List1_DblClick();
        QVERIFY(!w.normalView() && !w.List1->isVisible() && !w.Text1->isVisible() && !w.Pic2->isVisible() &&
                !w.Combo1->isVisible() && !w.mnuFile->isEnabled());
        QVERIFY(w.Pic1->width() > normal.width() && !w.Pic1->isEmpty() && w.Pic2->isEmpty());

        // Keys (k: on the keypad), the left and right buttons, and the wheel: left goes round from the first
        // line to the last, the top row's 6 is no step, and a wheel that sends 40 a turn steps once in three,
        // away from the user back. Only the pictures that can be shown fill the box.
        QStringList shown;
        for (const QString& act :
             QStringLiteral("Left Space k6 6 End k7 k1 Backspace k4 Home Right L R w-40 w-40 w-40 w120")
                 .split(' ')) {
            if (act == "L" || act == "R")
                w.Pic1_MouseDown(act == "L" ? Qt::LeftButton : Qt::RightButton);
            else if (act[0] == 'w')
                Wheel(w, act.mid(1).toInt());
            else
                QTest::keyClick(w.Pic1, Qt::Key(QKeySequence(act.mid(act[0] == 'k'))[0].key()),
                                act[0] == 'k' ? Qt::KeypadModifier : Qt::NoModifier);
            shown << w.windowTitle().left(4) + (w.Pic1->isEmpty() ? "" : "*");
        }
        QCOMPARE(shown.join(' '),
                 QStringLiteral("WALL* GLAS* HALF HALF WALL* GLAS* WALL* READ ODD7 GLAS* HALF "
                                "GLAS* HALF HALF HALF ODD7 HALF"));

        // The File menu's shortcuts rest while the list they act on is hidden.
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTest::keyClick(&w, Qt::Key_Delete);
        QTest::keyClick(&w, Qt::Key_O, Qt::ControlModifier);
        QVERIFY(s.d.shown.isEmpty());

        // Back to the normal view whatever the entry; with a picture, its mask is drawn again.
        QTest::keyClick(w.Pic1, Qt::Key_Escape);
        QVERIFY(w.normalView() && w.List1->isVisible() && w.Check1->isVisible() && w.mnuFile->isEnabled());
        QVERIFY(w.Pic1->size() == normal && w.Pic1->isEmpty() && w.windowTitle() == "HALF.SRB");
        s.select({"GLASS.MIP"});
        w.Pic1_Click();
        QTest::keyClick(w.Pic1, Qt::Key_Escape);
        QVERIFY(!w.Pic1->isEmpty() && !w.Pic2->isEmpty());
        s.settled("after the enlarged view: ");
    }

    // Fitted after a resize, kept whole at its smallest, Enter enlarges, radio JPEG qualities, the
    // checkerboard remembered and drawn under a transparent picture, and the enlarged view's zoom and pan.
    void theViewFitsZoomsAndPansThePicture() {
        const QString path = WriteArchive(dataDir.filePath("ZOOM.DAT"),
                                          {{"BIG.MIP", Plain(PictureKind::Mip, 4, 800, 600, 0x001F)},
                                           {"DOT.MIP", Plain(PictureKind::Mip, 3, 4, 4, 0xFFFF)}});
        QPoint at;
        {
            Window s(path);
            Form1& w = s.w;
            QActionGroup* qualities = w.mnuFileJPEGQualityItems[0]->actionGroup();
            QVERIFY(qualities->isExclusive() && qualities->checkedAction() == w.mnuFileJPEGQualityItems[0]);
            auto key = [&](Qt::Key k) { QTest::keyClick(w.Pic1, k, Qt::ControlModifier); };
            const std::vector<std::pair<std::function<void()>, QString>> steps{
                {[] {}, "BIG.MIP normal fitted blue"},
                {[&] { w.mnuViewCheckerboard->trigger(); }, "BIG.MIP normal fitted grey"},
                {[&] { w.resize(100, 100), QCoreApplication::processEvents(); },
                 "BIG.MIP normal fitted grey"},
                {[&] { QTest::keyClick(w.List1, Qt::Key_Return); }, "BIG.MIP enlarged fitted grey"},
                {[&] { key(Qt::Key_1), at = w.Pic1->target().topLeft(); }, "BIG.MIP enlarged x1 grey"},
                {[&] {
                     QTest::mousePress(w.Pic1, Qt::LeftButton, {}, {100, 100});
                     QTest::mouseMove(w.Pic1, {130, 120});
                     QTest::mouseRelease(w.Pic1, Qt::LeftButton, {}, {130, 120});
                     at = w.Pic1->target().topLeft() - at;
                 },
                 "BIG.MIP enlarged x1 grey"},
                {[&] { key(Qt::Key_0); }, "BIG.MIP enlarged fitted grey"},
                {[&] { key(Qt::Key_1), QTest::mouseClick(w.Pic1, Qt::LeftButton); },
                 "DOT.MIP enlarged fitted white"},
            };
            QStringList seen, expected;
            for (const auto& [act, shown] : steps) {
                act();
                PictureBox* box = w.Pic1;
                const QSize size = box->pictureSize();
                const DrawRect r = FitPicture(box->width(), box->height(), size.width(), size.height());
                const QRect t = box->target();
                const QRgb under = box->grab().toImage().pixel((t & box->rect()).center());
                seen << QStringList{w.windowTitle(), w.normalView() ? "normal" : "enlarged",
                                    t == QRect(r.x, r.y, r.width, r.height)
                                        ? "fitted"
                                        : "x" + QString::number(box->scale()),
                                    qBlue(under) > 2 * qRed(under) ? "blue"
                                    : qGray(under) > 240           ? "white"
                                                                   : "grey"}
                            .join(' ');
                expected << shown;
            }
            QCOMPARE(seen, expected);
            QVERIFY(at == QPoint(30, 20) && w.minimumWidth() > 100 && w.size() == w.minimumSize());
        }
        QVERIFY(Window().w.mnuViewCheckerboard->isChecked());
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
