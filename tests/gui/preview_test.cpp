#include "app/form1.h"
#include "app/settings.h"
#include "archive_builder.h"
#include "images/fitting.h"
#include "picture_builder.h"
#include "scripted_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace kelvot;
using namespace kelvot::app;
using namespace kelvot::testkit;

namespace {

PictureSpec Spec(PictureKind kind, std::uint8_t code, std::int16_t w, std::int16_t h, std::uint16_t pixel) {
    PictureSpec spec;
    spec.Kind = kind;
    spec.FormatCode = code;
    spec.Width = w;
    spec.Height = h;
    spec.Mapp = 1;
    spec.SubImages = 1;
    spec.Pixels.assign(static_cast<std::size_t>(w) * h, pixel);
    return spec;
}

} // namespace

class PreviewTest : public QObject {
    Q_OBJECT

    QTemporaryDir settingsDir, dataDir;
    QString archivePath;

    QStringList PanelTexts(const Form1& w) {
        QStringList texts;
        for (const QLabel* panel : w.Panels)
            texts << panel->text();
        return texts;
    }
    void Select(Form1& w, const QString& name) {
        const auto items = w.List1->findItems(name, Qt::MatchFixedString);
        QVERIFY(!items.isEmpty());
        w.List1->setCurrentItem(items.first(), QItemSelectionModel::ClearAndSelect);
    }
    // The window is left as a user would want it after every selection.
    void CheckNothingLeftHanging(const Form1& w) {
        QVERIFY(w.updatesEnabled());
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }
    static void CheckFitted(const PictureBox* box) {
        const QImage& image = box->picture();
        const DrawRect r = FitPicture(box->width(), box->height(), image.width(), image.height());
        QCOMPARE(box->target(), QRect(r.x, r.y, r.width, r.height));
    }

  private slots:
    void initTestCase() {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
        PictureSpec indexed = Spec(PictureKind::Mip, 1, 8, 2, 3);
        indexed.Colours[4 * 3 + 0] = 10; // blue
        indexed.Colours[4 * 3 + 1] = 20;
        indexed.Colours[4 * 3 + 2] = 30;
        indexed.Colours[4 * 3 + 3] = 128; // transparency, shown grey in the mask
        auto truncated = EncodePicture(Spec(PictureKind::Srb, 3, 64, 64, 0xFFFF));
        truncated.resize(truncated.size() - 1);
        archivePath = dataDir.filePath(QStringLiteral("PREVIEW.DAT"));
        WriteFile(archivePath.toStdString(),
                  BuildArchive({{"WALL.MIP", EncodePicture(Spec(PictureKind::Mip, 3, 128, 64, 0xF800))},
                                {"GLASS.MIP", EncodePicture(indexed)},
                                {"HALF.SRB", truncated},
                                {"FADE.PBF", EncodePicture(Spec(PictureKind::Pbf, 5, 3000, 20, 0x7F00))},
                                {"ODD7.MIP", EncodePicture(Spec(PictureKind::Mip, 7, 4, 4, 0))},
                                {"READ.ME", DataOfType("OTH", 3000)}}));
    }
    void init() {
        OpenSettings()->clear();
        QLocale::setDefault(QLocale::c());
    }

    void aSixteenBitPictureFillsTheStatusBarAndThePreview() {
        ScriptedDialogs d;
        Form1 w(d);
        w.show();
        w.OpenArchiveByPath(QStringLiteral("PREVIEW.DAT"), archivePath);
        w.Check1->setChecked(true);
        Select(w, QStringLiteral("WALL.MIP"));
        QCOMPARE(PanelTexts(w), (QStringList{"128 x 64 x 16 BPP", "5 / 5", "16.09 KB", "MIP", "Type 3",
                                             "Mapp 1", "0 Sub-images"}));
        QCOMPARE(w.windowTitle(), QStringLiteral("WALL.MIP"));
        QVERIFY(!w.Pic1->isEmpty());
        QCOMPARE(w.Pic1->picture().size(), QSize(128, 64));
        QCOMPARE(w.Pic1->picture().pixel(5, 5), qRgb(248, 0, 0));
        CheckFitted(w.Pic1);
        QVERIFY(w.Pic2->isEmpty()); // 5-6-5 pictures carry no transparency
        CheckNothingLeftHanging(w);
    }

    void theMaskFollowsTheCheckBox() {
        ScriptedDialogs d;
        Form1 w(d);
        w.show();
        w.OpenArchiveByPath(QStringLiteral("PREVIEW.DAT"), archivePath);
        Select(w, QStringLiteral("GLASS.MIP"));
        QCOMPARE(w.Pic1->picture().pixel(0, 0), qRgb(30, 20, 10));
        QVERIFY(w.Pic2->isEmpty());
        w.Check1->setChecked(true);
        QVERIFY(!w.Pic2->isEmpty());
        QCOMPARE(w.Pic2->picture().pixel(7, 1), qRgb(128, 128, 128));
        CheckFitted(w.Pic2);
        w.Check1->setChecked(false);
        QVERIFY(w.Pic2->isEmpty());
        QVERIFY(!w.Pic1->isEmpty()); // unticking leaves the picture alone

        // A wide 4-4-4-4 picture: scaled to the box's width, its mask too.
        w.Check1->setChecked(true);
        Select(w, QStringLiteral("FADE.PBF"));
        QCOMPARE(w.Pic1->picture().size(), QSize(3000, 20));
        QVERIFY(w.Pic1->target().width() <= w.Pic1->width());
        CheckFitted(w.Pic1);
        QCOMPARE(w.Pic2->picture().pixel(0, 0), qRgb(112, 112, 112)); // level 7 of 16
        QCOMPARE(PanelTexts(w).at(5), QString());                     // PBF has no Mapp
        CheckNothingLeftHanging(w);
    }

    void picturesThatCannotBeShownLeaveTheBoxesEmpty() {
        ScriptedDialogs d;
        Form1 w(d);
        w.show();
        w.OpenArchiveByPath(QStringLiteral("PREVIEW.DAT"), archivePath);
        w.Check1->setChecked(true);
        Select(w, QStringLiteral("HALF.SRB")); // one byte short of its last pixel
        QCOMPARE(PanelTexts(w).at(0), QStringLiteral("64 x 64 x 16 BPP"));
        QVERIFY(w.Pic1->isEmpty());
        QVERIFY(w.Pic2->isEmpty());
        CheckNothingLeftHanging(w);
        Select(w, QStringLiteral("ODD7.MIP")); // a format code nothing decodes
        QCOMPARE(PanelTexts(w), (QStringList{"4 x 4 x 16 BPP", "4 / 5", "0.12 KB", "MIP", "Type 7", "Mapp 1",
                                             "0 Sub-images"}));
        QVERIFY(w.Pic1->isEmpty());
        CheckNothingLeftHanging(w);
    }

    void otherEntriesShowTheirSizeInTheUsersNumbers() {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        ScriptedDialogs d;
        Form1 w(d);
        w.show();
        w.Combo1->setCurrentIndex(5);
        w.OpenArchiveByPath(QStringLiteral("PREVIEW.DAT"), archivePath);
        Select(w, QStringLiteral("READ.ME"));
        QCOMPARE(PanelTexts(w), (QStringList{"", "5 / 6", "2,93 KB", ".ME", "", "", ""}));
        QVERIFY(w.Pic1->isEmpty());
        QCOMPARE(w.windowTitle(), QStringLiteral("READ.ME"));
        CheckNothingLeftHanging(w);
    }

    void severalLinesClearEverything() {
        ScriptedDialogs d;
        Form1 w(d);
        w.show();
        w.OpenArchiveByPath(QStringLiteral("PREVIEW.DAT"), archivePath);
        w.Check1->setChecked(true);
        Select(w, QStringLiteral("GLASS.MIP"));
        w.List1->item(4)->setSelected(true);
        QCOMPARE(PanelTexts(w), QStringList(7, QString()));
        QVERIFY(w.Pic1->isEmpty());
        QVERIFY(w.Pic2->isEmpty());
        QVERIFY(!w.Pic1->isEnabled());
        QCOMPARE(w.windowTitle(), QStringLiteral("Kelvot"));
        CheckNothingLeftHanging(w);
    }
};

QTEST_MAIN(PreviewTest)
#include "preview_test.moc"
