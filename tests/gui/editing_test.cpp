#include "app/form1.h"
#include "app/settings.h"
#include "archive/dat_format.h"
#include "archive_builder.h"
#include "scripted_dialogs.h"

#include <QComboBox>
#include <QDir>
#include <QListWidget>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

using namespace kelvot;
using namespace kelvot::app;
using namespace kelvot::testkit;

namespace {

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QStringList Lines(const Form1& w) {
    QStringList lines;
    for (int i = 0; i < w.List1->count(); ++i)
        lines << w.List1->item(i)->text();
    return lines;
}

} // namespace

class EditingTest : public QObject {
    Q_OBJECT

    QTemporaryDir settingsDir;

    // A 100-byte archive of two entries, A.MIP (20 bytes) and C.SRB (24), and B.MIP between them.
    static QString ThreeEntries(const QTemporaryDir& dir) {
        const QString path = dir.filePath(QStringLiteral("EDIT.DAT"));
        WriteFile(path.toStdString(), BuildArchive({{"A.MIP", DataOfType("MIP", 20)},
                                                    {"B.MIP", DataOfType("MIP", 9)},
                                                    {"C.SRB", DataOfType("SRB", 24)}}));
        return path;
    }
    static void CheckSettled(const Form1& w) {
        QVERIFY(!w.StatusBar1->font().bold());
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QVERIFY(w.updatesEnabled());
    }

  private slots:
    void initTestCase() {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    }
    void init() { OpenSettings()->clear(); }

    void createPacksAFolderAfterTheNameChecks() {
        QTemporaryDir folder;
        Write(folder.filePath("A.TXT"), QByteArray(10, 'a'));
        Write(folder.filePath("README"), QByteArray(5, 'r')); // no extension: not packed
        ScriptedDialogs d;
        Form1 w(d);
        w.show();
        d.folderAnswers = {folder.path()};
        d.inputAnswers = {QStringLiteral("x.da"), QStringLiteral("a?b.dat"), QStringLiteral("NEW.DAT")};
        w.mnuFileNew_Click();
        QCOMPARE(d.folderPrompts[0].first,
                 QStringLiteral("Please select the folder containing the files that you wish to pack."));
        QCOMPARE(d.inputs.size(), 3);
        QCOMPARE(d.inputs[0].title, QStringLiteral("New DAT file"));
        QCOMPARE(d.messages.size(), 2);
        QCOMPARE(d.messages[0].icon, MessageIcon::Critical);
        QCOMPARE(d.messages[0].text, QStringLiteral("The extension must be .dat or .DAT\nPlease try again."));
        const QByteArray archive = Read(folder.filePath("NEW.DAT"));
        QCOMPARE(archive.size(), 2 + 27 + 10);
        QCOMPARE(archive.mid(12, 6), QByteArray("A.TXT\0", 6));
        QVERIFY(w.archive() == nullptr); // the window does not open what it made
        CheckSettled(w);

        d.folderAnswers = {folder.path()};
        d.inputAnswers = {QStringLiteral(".DAT")}; // the default left as it was: nothing happens
        w.mnuFileNew_Click();
        QCOMPARE(d.messages.size(), 2);
    }

    void addAppendsOrRefusesWithoutAllFiles() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("TWO.DAT"));
        WriteFile(path.toStdString(),
                  BuildArchive({{"A.MIP", DataOfType("MIP", 20)}, {"C.SRB", DataOfType("SRB", 24)}}));
        const QByteArray before = Read(path);
        QCOMPARE(before.size(), 100);
        Write(dir.filePath("NEW.TXT"), QByteArray(10, 'n'));
        ScriptedDialogs d;
        Form1 w(d);
        w.show();
        w.OpenArchiveByPath(QStringLiteral("TWO.DAT"), path);
        w.mnuFileAdd_Click();
        QCOMPARE(d.messages.size(), 1);
        QCOMPARE(d.messages[0].title, QStringLiteral("Add Files"));
        QCOMPARE(d.messages[0].text, QStringLiteral("Please select the \"All Files\" filter."));
        QCOMPARE(Read(path), before);

        w.Combo1->setCurrentIndex(5);
        d.openFilesAnswers = {{dir.filePath(QStringLiteral("NEW.TXT"))}};
        w.mnuFileAdd_Click();
        const QByteArray after = Read(path);
        QCOMPARE(after.size(), 137);
        QCOMPARE(after.mid(83, 44), before.mid(56, 44)); // the old data area, moved behind the new record
        QCOMPARE(Lines(w), (QStringList{"A.MIP", "C.SRB", "NEW.TXT"}));
        QCOMPARE(w.List1->currentRow(), 0);
        CheckSettled(w);
    }

    void removeAsksRefusesAllAndRepacks() {
        QTemporaryDir dir;
        const QString path = ThreeEntries(dir);
        const QByteArray before = Read(path);
        ScriptedDialogs d;
        Form1 w(d);
        w.show();
        w.OpenArchiveByPath(QStringLiteral("EDIT.DAT"), path);
        w.List1->setCurrentRow(1, QItemSelectionModel::ClearAndSelect); // B.MIP
        d.questionAnswers = {false};
        w.mnuFileRemove_Click();
        QCOMPARE(d.questions[0].title, QStringLiteral("Confirm file removal"));
        QCOMPARE(Read(path), before);

        w.List1->selectAll();
        d.questionAnswers = {true};
        w.mnuFileRemove_Click();
        QCOMPARE(d.messages.size(), 1);
        QCOMPARE(d.messages[0].text, QStringLiteral("You cannot remove every file in the DAT file."));
        QCOMPARE(Read(path), before);

        w.List1->setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
        d.questionAnswers = {true};
        w.mnuFileRemove_Click();
        const QByteArray after = Read(path);
        QCOMPARE(after.size(), 2 + 54 + 20 + 24);
        QCOMPARE(static_cast<unsigned char>(after[25]), 56u); // A.MIP's data offset
        QCOMPARE(static_cast<unsigned char>(after[52]), 76u); // C.SRB's, behind it
        QCOMPARE(Lines(w), (QStringList{"A.MIP", "C.SRB"}));
        CheckSettled(w);
    }

    void renameChecksTheNameAndWritesThirteenBytes() {
        QTemporaryDir dir;
        const QString path = ThreeEntries(dir);
        const QByteArray before = Read(path);
        ScriptedDialogs d;
        Form1 w(d);
        w.show();
        w.OpenArchiveByPath(QStringLiteral("EDIT.DAT"), path);
        w.List1->setCurrentRow(1, QItemSelectionModel::ClearAndSelect); // B.MIP
        d.inputAnswers = {QStringLiteral("b.mip"), QStringLiteral(".MIP"), QStringLiteral("ZED.MIP")};
        w.mnuFileRename_Click();
        QCOMPARE(d.inputs[0].title, QStringLiteral("Rename file"));
        QCOMPARE(d.messages.size(), 2);
        QCOMPARE(d.messages[0].text,
                 QStringLiteral("The new filename you are providing already exists in the DAT "
                                "file.\nPlease provide another filename."));
        QCOMPARE(d.messages[1].text, QStringLiteral("You have not provided a filename.\nPlease try again."));
        const QByteArray after = Read(path);
        QCOMPARE(after.size(), before.size());
        QCOMPARE(after.mid(39, 13), QByteArray("ZED.MIP\0\0\0\0\0\0", 13));
        QCOMPARE(after.left(39) + after.mid(52), before.left(39) + before.mid(52));
        QCOMPARE(Lines(w), (QStringList{"A.MIP", "C.SRB", "ZED.MIP"}));
        QCOMPARE(w.List1->currentItem()->text(), QStringLiteral("ZED.MIP"));
        CheckSettled(w);
    }

    void aFailedEditSaysSoAndKeepsTheArchive() {
        QTemporaryDir dir;
        const QString path = ThreeEntries(dir);
        ScriptedDialogs d;
        Form1 w(d);
        w.show();
        w.OpenArchiveByPath(QStringLiteral("EDIT.DAT"), path);
        // Changed behind the window's back: the edits refuse to work on what they did not see.
        WriteFile(path.toStdString(), BuildArchive({{"X.MIP", DataOfType("MIP", 5)}}));
        const QByteArray changed = Read(path);
        w.List1->setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
        d.questionAnswers = {true};
        w.mnuFileRemove_Click();
        d.inputAnswers = {QStringLiteral("NEW.MIP")};
        w.mnuFileRename_Click();
        QCOMPARE(d.messages.size(), 2);
        for (const ShownMessage& m : d.messages)
            QVERIFY(m.text.startsWith(QStringLiteral("The following error occurred:\n")));
        QCOMPARE(Read(path), changed);
        QCOMPARE(Lines(w), (QStringList{"A.MIP", "B.MIP", "C.SRB"}));
        CheckSettled(w);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"EDIT.DAT"});
    }
};

QTEST_MAIN(EditingTest)
#include "editing_test.moc"
