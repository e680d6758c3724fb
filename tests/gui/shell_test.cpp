#include "app/form1.h"
#include "app/settings.h"
#include "archive_builder.h"
#include "picture_builder.h"
#include "scripted_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QTemporaryDir>
#include <QWindow>
#include <QtTest>

using namespace kelvot;
using namespace kelvot::app;
using namespace kelvot::testkit;

namespace {

std::vector<std::uint8_t> Picture(std::uint8_t code) {
    PictureSpec spec;
    spec.Kind = PictureKind::Mip;
    spec.FormatCode = code;
    spec.Width = 8;
    spec.Height = 8;
    spec.Pixels.assign(64, code < 3 ? 1 : 0x7FFF);
    return EncodePicture(spec);
}

QStringList Visible(const std::array<QAction*, 5>& items) {
    QStringList captions;
    for (int n = 1; n <= 4; ++n)
        if (items[n]->isVisible()) captions << items[n]->text();
    return captions;
}

} // namespace

class ShellTest : public QObject {
    Q_OBJECT

    QTemporaryDir settingsDir, dataDir;

    QString Archive(const QString& name) {
        const QString path = dataDir.filePath(name);
        WriteFile(path.toStdString(), BuildArchive({{"A.MIP", Picture(3)},
                                                    {"B.TXT", DataOfType("OTH")},
                                                    {"C.MIP", Picture(1)},
                                                    {"D.MIP", Picture(7)},
                                                    {"E.MIP", Picture(5)}}));
        return path;
    }
    static void Key(Form1& w, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(w.Pic1, static_cast<Qt::Key>(key), modifiers);
    }
    static void Wheel(Form1& w, int delta) {
        QWheelEvent event(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(w.windowHandle(), &event);
    }
    static QString Line(const Form1& w) { return w.List1->currentItem()->text(); }

  private slots:
    void initTestCase() {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    }
    void init() { OpenSettings()->clear(); }

    void recentArchivesKeepTheLastFourAndSurviveARun() {
        {
            ScriptedDialogs d;
            Form1 w(d);
            w.show();
            QVERIFY(!w.mnuFileMRUSep->isVisible());
            QVERIFY(Visible(w.mnuFileMRU).isEmpty());
            for (const char* name : {"A.DAT", "B.DAT", "C.DAT", "D.DAT", "E.DAT"})
                w.OpenArchiveByPath(name, Archive(name));
            QCOMPARE(Visible(w.mnuFileMRU), (QStringList{"&1 E.DAT", "&2 D.DAT", "&3 C.DAT", "&4 B.DAT"}));
            QVERIFY(w.mnuFileMRUSep->isVisible());
            w.mnuFileMRU_Click(4); // B again
            QCOMPARE(Visible(w.mnuFileMRU), (QStringList{"&1 B.DAT", "&2 E.DAT", "&3 D.DAT", "&4 C.DAT"}));
        }
        auto settings = OpenSettings();
        QCOMPARE(settings->value("MRU/Title1").toString(), QStringLiteral("B.DAT"));
        QCOMPARE(settings->value("MRU/Title4").toString(), QStringLiteral("C.DAT"));
        QVERIFY(!settings->contains("MRU/Title5"));

        // A gap ends the list; a missing file says so and changes nothing.
        settings->remove("MRU/Title2");
        settings->sync();
        ScriptedDialogs d;
        Form1 w(d);
        QCOMPARE(w.recentArchives().count(), 1);
        QFile::remove(dataDir.filePath(QStringLiteral("B.DAT")));
        w.mnuFileMRU_Click(1);
        QCOMPARE(d.messages.size(), 1);
        QCOMPARE(d.messages[0].icon, MessageIcon::Critical);
        QCOMPARE(w.recentArchives().count(), 1);
    }

    void recentPathsCompareIgnoringCase() {
        RecentArchives recent;
        recent.Add(QStringLiteral("a.dat"), QStringLiteral("C:/X/a.dat"));
        recent.Add(QStringLiteral("B.DAT"), QStringLiteral("C:/X/B.DAT"));
        recent.Add(QStringLiteral("A.DAT"), QStringLiteral("c:/x/A.DAT"));
        QCOMPARE(recent.count(), 2);
        QCOMPARE(recent.title(1), QStringLiteral("A.DAT"));
        QCOMPARE(recent.title(2), QStringLiteral("B.DAT"));
    }

    void theEnablingRuleFollowsTheList() {
        ScriptedDialogs d;
        Form1 w(d);
        w.show();
        const QList<QAction*> listCommands = {
            w.mnuFileSaveAsBMP,  w.mnuFileSaveAsJPG, w.mnuFileExtractSelectedFiles,
            w.mnuFileExtractAll, w.mnuFileRemove,    w.mnuFileAdd};
        w.mnuFile_Click(); // nothing open
        for (QAction* a : listCommands)
            QVERIFY(!a->isEnabled());
        QVERIFY(!w.mnuFileRename->isEnabled());
        QVERIFY(w.mnuFileNew->isEnabled() && w.mnuFileOpen->isEnabled() && w.mnuFileExit->isEnabled());

        w.OpenArchiveByPath(QStringLiteral("A.DAT"), Archive("A.DAT"));
        w.List1->clearSelection();
        w.mnuFile_Click(); // lines, none selected
        for (QAction* a : listCommands)
            QVERIFY(a->isEnabled());
        QVERIFY(w.mnuFileRename->isEnabled());

        w.List1->selectAll();
        // A right click raises the pop-up menu and leaves the selection as it was.
        const QPoint line = w.List1->visualItemRect(w.List1->item(0)).center();
        QTest::mouseClick(w.List1->viewport(), Qt::RightButton, Qt::NoModifier, line);
        QVERIFY(w.mnuHidden->isVisible());
        w.mnuHidden->close();
        QCOMPARE(w.List1->selectedItems().size(), w.List1->count());
        w.mnuFile_Click();
        QVERIFY(w.mnuFileRemove->isEnabled());
        QVERIFY(!w.mnuFileRename->isEnabled());
        w.List1_MouseUp(Qt::LeftButton, QPoint());
        QVERIFY(!w.mnuHidden->isVisible());
        w.List1_MouseUp(Qt::RightButton, QPoint(5, 5));
        QVERIFY(w.mnuHidden->isVisible());
        QVERIFY(!w.mnuHiddenRename->isEnabled());
        QVERIFY(w.mnuHiddenAdd->isEnabled());
        w.mnuHidden->close();

        // A pop-up item runs its twin: Open asks for a file.
        w.mnuHiddenOpen->trigger();
        QCOMPARE(d.openTitles, QStringList{QStringLiteral("Open DAT file")});
        QCOMPARE(w.mnuFileOpen->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
        QCOMPARE(w.mnuFileNew->shortcut(), QKeySequence(QStringLiteral("Ctrl+N")));
        QCOMPARE(w.mnuFileRemove->shortcut(), QKeySequence(Qt::Key_Delete));
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTest::keyClick(&w, Qt::Key_Delete); // the shortcut asks before removing anything
        QCOMPARE(d.questions.size(), 1);
    }

    void qualityItemsAreExclusiveAndRemembered() {
        OpenSettings()->setValue("JPEGQuality/JPGQuality", "nonsense");
        {
            ScriptedDialogs d;
            Form1 w(d);
            QVERIFY(w.mnuFileJPEGQualityItems[0]->isChecked()); // an unknown word counts as Superb
            w.mnuFileJPEGQualityItems[3]->trigger();
            QVERIFY(w.jpegQuality() == JpegQuality::Average);
            for (int i = 0; i < 5; ++i)
                QCOMPARE(w.mnuFileJPEGQualityItems[i]->isChecked(), i == 3);
            w.show();
            w.mnuFileExit->trigger();
        }
        ScriptedDialogs d;
        Form1 w(d);
        QVERIFY(w.mnuFileJPEGQualityItems[3]->isChecked());
    }

    void theEnlargedViewStepsThroughTheList() {
        ScriptedDialogs d;
        Form1 w(d);
        w.show();
        w.Combo1->setCurrentIndex(5);
        w.OpenArchiveByPath(QStringLiteral("A.DAT"), Archive("A.DAT"));
        const QSize normal = w.Pic1->size();
        w.Pic1_MouseDown(Qt::RightButton); // the normal view ignores buttons
        QCOMPARE(Line(w), QStringLiteral("A.MIP"));
        w.Pic1_Click();
        QVERIFY(!w.normalView());
        QVERIFY(!w.List1->isVisible() && !w.Pic2->isVisible() && !w.Combo1->isVisible());
        QVERIFY(!w.mnuFile->isEnabled());
        QVERIFY(w.Pic1->width() > normal.width());
        QVERIFY(!w.Pic1->isEmpty());

        Key(w, Qt::Key_Left); // from line 0 round to the last
        QCOMPARE(Line(w), QStringLiteral("E.MIP"));
        Key(w, Qt::Key_Space);
        QCOMPARE(Line(w), QStringLiteral("A.MIP"));
        Key(w, Qt::Key_6, Qt::KeypadModifier);
        QCOMPARE(Line(w), QStringLiteral("B.TXT"));
        QVERIFY(w.Pic1->isEmpty()); // not a picture: the box stays empty
        Key(w, Qt::Key_6);          // the top row's 6 is no step
        QCOMPARE(Line(w), QStringLiteral("B.TXT"));
        Key(w, Qt::Key_End);
        QCOMPARE(Line(w), QStringLiteral("E.MIP"));
        Key(w, Qt::Key_7, Qt::KeypadModifier);
        QCOMPARE(Line(w), QStringLiteral("A.MIP"));
        Key(w, Qt::Key_1, Qt::KeypadModifier);
        Key(w, Qt::Key_Backspace);
        Key(w, Qt::Key_4, Qt::KeypadModifier);
        QCOMPARE(Line(w), QStringLiteral("C.MIP"));
        Key(w, Qt::Key_Home);
        QCOMPARE(Line(w), QStringLiteral("A.MIP"));
        w.Pic1_MouseDown(Qt::LeftButton);
        QCOMPARE(Line(w), QStringLiteral("E.MIP"));
        w.Pic1_MouseDown(Qt::RightButton);
        QCOMPARE(Line(w), QStringLiteral("A.MIP"));
        QCOMPARE(w.windowTitle(), QStringLiteral("A.MIP"));

        // A wheel that sends 40 a turn steps once in three; away from the user is back.
        Wheel(w, -40);
        Wheel(w, -40);
        QCOMPARE(Line(w), QStringLiteral("A.MIP"));
        Wheel(w, -40);
        QCOMPARE(Line(w), QStringLiteral("B.TXT"));
        Wheel(w, 120);
        QCOMPARE(Line(w), QStringLiteral("A.MIP"));

        // The File menu's shortcuts rest while the list they act on is hidden.
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTest::keyClick(&w, Qt::Key_Delete);
        QTest::keyClick(&w, Qt::Key_O, Qt::ControlModifier);
        QVERIFY(d.questions.isEmpty());
        QVERIFY(d.openTitles.isEmpty());

        Key(w, Qt::Key_Right);
        Key(w, Qt::Key_Right);
        Key(w, Qt::Key_Right); // D.MIP: a format code nothing shows
        QVERIFY(w.Pic1->isEmpty());
        Key(w, Qt::Key_Escape);
        QVERIFY(w.normalView());
        QVERIFY(w.List1->isVisible() && w.Check1->isVisible() && w.mnuFile->isEnabled());
        QCOMPARE(w.Pic1->size(), normal);
        QVERIFY(w.Pic1->isEmpty());
        QVERIFY(w.updatesEnabled());
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QCOMPARE(w.windowTitle(), QStringLiteral("D.MIP"));
    }

    void onlyPicturesEnlargeAndEscapeRedrawsTheMask() {
        ScriptedDialogs d;
        Form1 w(d);
        w.show();
        w.Combo1->setCurrentIndex(5);
        w.OpenArchiveByPath(QStringLiteral("A.DAT"), Archive("A.DAT"));
        w.List1->setCurrentRow(1, QItemSelectionModel::ClearAndSelect); // B.TXT
        w.List1_DblClick();
        QVERIFY(w.normalView());
        Wheel(w, -120); // the normal view only passes the wheel on
        QCOMPARE(Line(w), QStringLiteral("B.TXT"));
        Key(w, Qt::Key_Right);
        QCOMPARE(Line(w), QStringLiteral("B.TXT"));

        w.Check1->setChecked(true);
        w.List1->setCurrentRow(4, QItemSelectionModel::ClearAndSelect); // E.MIP, 4-4-4-4 with a mask
        w.List1_DblClick();
        QVERIFY(!w.normalView());
        Key(w, Qt::Key_Escape);
        QVERIFY(!w.Pic1->isEmpty());
        QVERIFY(!w.Pic2->isEmpty());
        // Resizing keeps the proportions of the layout.
        const double ratio = double(w.List1->x()) / w.width();
        w.resize(w.width() * 2 / 3, w.height() * 2 / 3);
        QVERIFY(qAbs(double(w.List1->x()) / w.width() - ratio) < 0.01);
    }
};

QTEST_MAIN(ShellTest)
#include "shell_test.moc"
