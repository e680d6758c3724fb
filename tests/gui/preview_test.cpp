// What the preview, the mask and the status bar show for the selected line, and the enlarged view's keys,
// mouse and wheel.

#include "gui_support.h"
#include "images/fitting.h"
#include "picture_builder.h"

#include <QCheckBox>
#include <QLabel>
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

QString PanelTexts(const Form1& w) {
    QStringList texts;
    for (const QLabel* panel : w.Panels)
        texts << panel->text();
    return texts.join('|');
}

// The box is empty, or its picture lies where the fitting rule puts it.
bool EmptyOrFitted(const PictureBox* box) {
    const DrawRect r =
        FitPicture(box->width(), box->height(), box->picture().width(), box->picture().height());
    return box->isEmpty() || box->target() == QRect(r.x, r.y, r.width, r.height);
}

void Wheel(Form1& w, int delta) {
    QWheelEvent event(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(w.windowHandle(), &event);
}

} // namespace

class PreviewTest : public QObject {
    Q_OBJECT

    QTemporaryDir dataDir;
    QString archivePath;

  private slots:
    void initTestCase() {
        auto half = Plain(PictureKind::Srb, 3, 64, 64, 0xFFFF);
        half.pop_back(); // one byte short of its last pixel
        archivePath =
            WriteArchive(dataDir.filePath("PREVIEW.DAT"),
                         {{"WALL.MIP", Plain(PictureKind::Mip, 3, 128, 64, 0xF800)},
                          {"GLASS.MIP", Plain(PictureKind::Mip, 1, 8, 2, 3)},
                          {"HALF.SRB", half},
                          {"ODD7.MIP", Plain(PictureKind::Mip, 7, 4, 4, 0)}, // nothing decodes code 7
                          {"READ.ME", DataOfType("OTH", 3000)}});
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); // sizes in the user's numbers
    }

    void eachLineFillsTheStatusBarAndThePictureBoxesItCanAndTheMaskFollowsTheCheckBox() {
        Window s(archivePath, kAllFiles);
        s.w.Check1->setChecked(true);
        const struct {
            const char* name;
            QString panels;
            bool picture, mask;
        } rows[] = {
            // 5-6-5 pictures carry no transparency.
            {"WALL.MIP", "128 x 64 x 16 BPP|5 / 5|16,09 KB|MIP|Type 3|Mapp 1|0 Sub-images", true, false},
            {"GLASS.MIP", "8 x 2 x 4 BPP|1 / 5|0,18 KB|MIP|Type 1|Mapp 1|0 Sub-images", true, true},
            {"HALF.SRB", "64 x 64 x 16 BPP|2 / 5|8,19 KB|SRB|Type 3|Mapp 1|0 Sub-images", false, false},
            {"ODD7.MIP", "4 x 4 x 16 BPP|3 / 5|0,12 KB|MIP|Type 7|Mapp 1|0 Sub-images", false, false},
            {"READ.ME", "|4 / 5|2,93 KB|.ME|||", false, false},
        };
        for (const auto& row : rows) {
            s.select({row.name});
            QCOMPARE(PanelTexts(s.w), row.panels);
            QCOMPARE(s.w.windowTitle(), QString::fromLatin1(row.name));
            QCOMPARE(!s.w.Pic1->isEmpty(), row.picture);
            QCOMPARE(!s.w.Pic2->isEmpty(), row.mask);
            QVERIFY(EmptyOrFitted(s.w.Pic1) && EmptyOrFitted(s.w.Pic2));
            QCOMPARE(s.leftovers(), QString());
        }
        s.select({"WALL.MIP"});
        QCOMPARE(s.w.Pic1->picture().pixel(5, 5), qRgb(248, 0, 0));

        // The mask follows the check box; unticking it leaves the picture alone.
        s.select({"GLASS.MIP"});
        QCOMPARE(s.w.Pic1->picture().pixel(0, 0), qRgb(30, 20, 10));
        QCOMPARE(s.w.Pic2->picture().pixel(7, 1), qRgb(128, 128, 128));
        s.w.Check1->setChecked(false);
        QVERIFY(s.w.Pic2->isEmpty() && !s.w.Pic1->isEmpty());
        s.w.Check1->setChecked(true);
        QVERIFY(!s.w.Pic2->isEmpty());

        // Several lines clear everything, and a click would enlarge one of several pictures.
        s.select({"GLASS.MIP", "WALL.MIP"});
        QCOMPARE(PanelTexts(s.w), QStringLiteral("||||||"));
        QVERIFY(s.w.Pic1->isEmpty() && s.w.Pic2->isEmpty() && !s.w.Pic1->isEnabled());
        QCOMPARE(s.w.windowTitle(), QStringLiteral("Kelvot"));
        s.select({"GLASS.MIP"});
        QCOMPARE(s.w.windowTitle(), QStringLiteral("GLASS.MIP"));
        QVERIFY(s.w.Pic1->isEnabled() && !s.w.Pic2->isEmpty());
    }

    void theEnlargedViewStepsThroughTheList() {
        Window s(archivePath, kAllFiles); // GLASS, HALF, ODD7, READ.ME, WALL
        Form1& w = s.w;
        w.Check1->setChecked(true);
        const QSize normal = w.Pic1->size();
        w.Pic1_MouseDown(Qt::RightButton); // the normal view ignores buttons, keys and the wheel
        QTest::keyClick(w.Pic1, Qt::Key_Right);
        Wheel(w, -120);
        QCOMPARE(s.current(), QStringLiteral("GLASS.MIP"));
        s.select({"READ.ME"});
        w.List1_DblClick(); // only pictures enlarge
        QVERIFY(w.normalView());
        s.select({"GLASS.MIP"});
        w.List1_DblClick();
        QVERIFY(!w.normalView());
        QVERIFY(!w.List1->isVisible() && !w.Pic2->isVisible() && !w.Combo1->isVisible() &&
                !w.mnuFile->isEnabled());
        QVERIFY(w.Pic1->width() > normal.width() && !w.Pic1->isEmpty() && w.Pic2->isEmpty());

        // Left goes round from the first line to the last; the top row's 6 is no step. Only the pictures
        // that can be shown fill the box.
        const std::pair<Qt::Key, bool> keys[] = {
            {Qt::Key_Left, false}, {Qt::Key_Space, false}, {Qt::Key_6, true},     {Qt::Key_6, false},
            {Qt::Key_End, false},  {Qt::Key_7, true},      {Qt::Key_1, true},     {Qt::Key_Backspace, false},
            {Qt::Key_4, true},     {Qt::Key_Home, false},  {Qt::Key_Right, false}};
        QStringList shown;
        for (const auto& [key, keypad] : keys) {
            QTest::keyClick(w.Pic1, key, keypad ? Qt::KeypadModifier : Qt::NoModifier);
            shown << s.current().left(4) + (w.Pic1->isEmpty() ? "" : "*");
        }
        QCOMPARE(shown.join(' '),
                 QStringLiteral("WALL* GLAS* HALF HALF WALL* GLAS* WALL* READ ODD7 GLAS* HALF"));
        w.Pic1_MouseDown(Qt::LeftButton);
        QCOMPARE(s.current(), QStringLiteral("GLASS.MIP"));
        w.Pic1_MouseDown(Qt::RightButton);
        QCOMPARE(w.windowTitle(), QStringLiteral("HALF.SRB"));
        // A wheel that sends 40 a turn steps once in three; away from the user is back.
        for (int delta : {-40, -40, -40})
            Wheel(w, delta);
        QCOMPARE(s.current(), QStringLiteral("ODD7.MIP"));
        Wheel(w, 120);
        QCOMPARE(s.current(), QStringLiteral("HALF.SRB"));

        // The File menu's shortcuts rest while the list they act on is hidden.
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTest::keyClick(&w, Qt::Key_Delete);
        QTest::keyClick(&w, Qt::Key_O, Qt::ControlModifier);
        QVERIFY(s.d.questions.isEmpty() && s.d.openTitles.isEmpty());

        // Back to the normal view whatever the entry; with a picture, its mask is drawn again.
        QTest::keyClick(w.Pic1, Qt::Key_Escape);
        QVERIFY(w.normalView());
        QVERIFY(w.List1->isVisible() && w.Check1->isVisible() && w.mnuFile->isEnabled());
        QVERIFY(w.Pic1->size() == normal && w.Pic1->isEmpty());
        QCOMPARE(w.windowTitle(), QStringLiteral("HALF.SRB"));
        s.select({"GLASS.MIP"});
        w.Pic1_Click();
        QTest::keyClick(w.Pic1, Qt::Key_Escape);
        QVERIFY(!w.Pic1->isEmpty() && !w.Pic2->isEmpty());
        QCOMPARE(s.leftovers(), QString());
        // Resizing keeps the proportions of the layout.
        const double ratio = double(w.List1->x()) / w.width();
        w.resize(w.width() * 2 / 3, w.height() * 2 / 3);
        QVERIFY(qAbs(double(w.List1->x()) / w.width() - ratio) < 0.01);
    }
};

QTEST_MAIN(PreviewTest)
#include "preview_test.moc"
