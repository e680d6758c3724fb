#include "app/form1.h"
#include "app/settings.h"
#include "archive_builder.h"
#include "images/pixel_decoders.h"
#include "picture_builder.h"
#include "scripted_dialogs.h"

#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QListWidget>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

using namespace kelvot;
using namespace kelvot::app;
using namespace kelvot::testkit;

namespace {

std::vector<std::uint8_t> Picture(std::uint8_t code, std::int16_t w, std::int16_t h) {
    return EncodePicture(RandomPicture(PictureKind::Mip, code, w, h, code));
}

QStringList Files(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

} // namespace

class FilesTest : public QObject {
    Q_OBJECT

    QTemporaryDir settingsDir, dataDir;
    QString archivePath;
    std::vector<std::uint8_t> wall, glass;

    // The busy display is gone and nothing waits.
    static void CheckUndone(const Form1& w) {
        QVERIFY(!w.StatusBar1->font().bold());
        QVERIFY(w.StatusBar1->currentMessage().isEmpty());
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QVERIFY(w.updatesEnabled());
    }
    void Select(Form1& w, const QStringList& names) {
        w.List1->clearSelection();
        for (const QString& name : names) {
            const auto items = w.List1->findItems(name, Qt::MatchFixedString);
            QVERIFY(!items.isEmpty());
            w.List1->setCurrentItem(items.first(), QItemSelectionModel::Select);
        }
    }

  private slots:
    void initTestCase() {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
        wall = Picture(5, 30, 20);
        glass = Picture(2, 16, 8);
        archivePath = dataDir.filePath(QStringLiteral("FILES.DAT"));
        WriteFile(archivePath.toStdString(), BuildArchive({{"WALL.MIP", wall},
                                                           {"NOTE.TXT", DataOfType("OTH", 10)},
                                                           {"GLASS.MIP", glass},
                                                           {"SHIP.3DO", DataOfType("3DO", 7)},
                                                           {"HALF.MIP", {wall.begin(), wall.end() - 1}},
                                                           {"EMPTY.MIP", {}}}));
    }
    void init() { OpenSettings()->clear(); }

    void cancellingThePickerChangesNothing() {
        ScriptedDialogs d;
        Form1 w(d);
        w.show();
        w.OpenArchiveByPath(QStringLiteral("FILES.DAT"), archivePath);
        w.mnuFileExtractAll_Click();
        w.mnuFileSaveAsBMP_Click();
        QCOMPARE(d.folderPrompts.size(), 2);
        QCOMPARE(d.folderPrompts[0].first, QStringLiteral("Please select the destination folder."));
        QVERIFY(d.messages.isEmpty());
        CheckUndone(w);
    }

    void extractAllWritesEveryEntryWhateverTheFilter() {
        ScriptedDialogs d;
        Form1 w(d);
        w.show();
        w.OpenArchiveByPath(QStringLiteral("FILES.DAT"), archivePath);
        w.Combo1->setCurrentIndex(1); // MIP files
        w.List1->setCurrentRow(2, QItemSelectionModel::ClearAndSelect);
        QTemporaryDir out;
        d.folderAnswers = {out.path()};
        w.mnuFileExtractAll_Click();
        QCOMPARE(Files(out.path()),
                 (QStringList{"EMPTY.MIP", "GLASS.MIP", "HALF.MIP", "NOTE.TXT", "SHIP.3DO", "WALL.MIP"}));
        QFile written(out.filePath(QStringLiteral("WALL.MIP")));
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), QByteArray(reinterpret_cast<const char*>(wall.data()), wall.size()));
        QCOMPARE(QFileInfo(out.filePath(QStringLiteral("EMPTY.MIP"))).size(), 0);
        QCOMPARE(w.List1->currentRow(), 2); // the line is shown again
        QVERIFY(d.messages.isEmpty());
        CheckUndone(w);
    }

    void extractSelectedWritesTheSelectedLines() {
        ScriptedDialogs d;
        Form1 w(d);
        w.show();
        w.Combo1->setCurrentIndex(5);
        w.OpenArchiveByPath(QStringLiteral("FILES.DAT"), archivePath);
        Select(w, {"NOTE.TXT", "SHIP.3DO"});
        QTemporaryDir out;
        d.folderAnswers = {out.path()};
        w.mnuFileExtractSelectedFiles_Click();
        QCOMPARE(Files(out.path()), (QStringList{"NOTE.TXT", "SHIP.3DO"}));
        CheckUndone(w);
    }

    void aFailureShowsTheMessageAndUndoesTheBusyDisplay() {
        ScriptedDialogs d;
        Form1 w(d);
        w.show();
        w.OpenArchiveByPath(QStringLiteral("FILES.DAT"), archivePath);
        d.folderAnswers = {archivePath}; // a file, not a folder
        w.mnuFileExtractAll_Click();
        QCOMPARE(d.messages.size(), 1);
        QVERIFY(d.messages[0].text.startsWith(QStringLiteral("The following error occurred:\n")));
        QCOMPARE(d.messages[0].icon, MessageIcon::None);
        CheckUndone(w);
    }

    void picturesBecomeBmpFilesThatQtReads() {
        ScriptedDialogs d;
        Form1 w(d);
        w.show();
        w.OpenArchiveByPath(QStringLiteral("FILES.DAT"), archivePath);
        Select(w, {"WALL.MIP", "GLASS.MIP", "HALF.MIP"});
        QTemporaryDir out;
        d.folderAnswers = {out.path()};
        w.mnuFileSaveAsBMP_Click();
        QCOMPARE(Files(out.path()), (QStringList{"GLASS.bmp", "GLASS_ti.bmp", "WALL.bmp", "WALL_ti.bmp"}));
        const auto decoded = DecodePicture(PictureKind::Mip, wall);
        QVERIFY(decoded.has_value());
        const QImage image(out.filePath(QStringLiteral("WALL.bmp")));
        QCOMPARE(image.size(), QSize(30, 20));
        const auto pixels = ToBgra32TopDown(*decoded);
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 30; ++x) {
                const std::uint8_t* p = &pixels[4 * (y * 30 + x)];
                QCOMPARE(image.pixel(x, y), qRgb(p[2], p[1], p[0]));
            }
        QCOMPARE(QImage(out.filePath(QStringLiteral("GLASS_ti.bmp"))).size(), QSize(16, 8));
        // HALF.MIP lacks its last byte: it is named in the message, the others are written.
        QCOMPARE(d.messages.size(), 1);
        QCOMPARE(d.messages[0].icon, MessageIcon::Warning);
        QVERIFY(d.messages[0].text.contains(QStringLiteral("HALF.MIP")));
        CheckUndone(w);
    }

    void picturesBecomeJpegFilesOnly() {
        ScriptedDialogs d;
        Form1 w(d);
        w.show();
        w.OpenArchiveByPath(QStringLiteral("FILES.DAT"), archivePath);
        Select(w, {"WALL.MIP"});
        QTemporaryDir out;
        QFile mine(out.filePath(QStringLiteral("WALLJPG.bmp"))); // a file of the user's own
        QVERIFY(mine.open(QIODevice::WriteOnly));
        mine.write("mine");
        mine.close();
        d.folderAnswers = {out.path()};
        w.mnuFileSaveAsJPG_Click();
        QCOMPARE(Files(out.path()), (QStringList{"WALL.jpg", "WALLJPG.bmp"}));
        QCOMPARE(QImage(out.filePath(QStringLiteral("WALL.jpg"))).size(), QSize(30, 20));
        QCOMPARE(QFileInfo(mine).size(), 4);
        CheckUndone(w);
    }
};

QTEST_MAIN(FilesTest)
#include "files_test.moc"
