// A file operation made to fail part-way through each command of the window that writes: the window says
// what the system said, puts the busy display away, is left drawing and without a wait cursor, and the
// archive on disk is as it was.

#include "app/form1.h"
#include "app/settings.h"
#include "archive/file_ops.h"
#include "archive_builder.h"
#include "picture_builder.h"
#include "scripted_dialogs.h"

#include <QComboBox>
#include <QDir>
#include <QListWidget>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

using namespace kelvot;
using namespace kelvot::app;
using namespace kelvot::testkit;

namespace {

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Makes the nth call of one file step fail with an error number while it lives.
class FailNth {
  public:
    FailNth(FileStep step, int nth, int error) {
        previous_ = SetFileFaultHook([=, this](FileStep s, const std::filesystem::path&) {
            return s == step && ++calls_ == nth ? error : 0;
        });
    }
    ~FailNth() { SetFileFaultHook(std::move(previous_)); }

  private:
    FileFaultHook previous_;
    int calls_ = 0;
};

} // namespace

class FaultsTest : public QObject {
    Q_OBJECT

    QTemporaryDir settingsDir;

    struct Command {
        const char* name;
        FileStep step;
        int nth;
        int error;
        std::function<void(Form1&, ScriptedDialogs&, const QString& out)> run;
    };

  private slots:
    void initTestCase() {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    }
    void init() { OpenSettings()->clear(); }

    void aFailurePartWayIsReportedAndLeavesTheWindowAndTheArchiveAsTheyWere() {
        auto selectAll = [](Form1& w) {
            w.List1->selectAll();
            w.List1_Click();
        };
        const std::vector<Command> commands = {
            {"extract", FileStep::Create, 3, EDQUOT,
             [](Form1& w, ScriptedDialogs& d, const QString& out) {
                 d.folderAnswers = {out};
                 w.mnuFileExtractAll_Click();
             }},
            {"export as BMP", FileStep::Write, 2, ENOSPC,
             [&](Form1& w, ScriptedDialogs& d, const QString& out) {
                 selectAll(w);
                 d.folderAnswers = {out};
                 w.mnuFileSaveAsBMP_Click();
             }},
            {"export as JPEG", FileStep::Flush, 2, EIO,
             [&](Form1& w, ScriptedDialogs& d, const QString& out) {
                 selectAll(w);
                 d.folderAnswers = {out};
                 w.mnuFileSaveAsJPG_Click();
             }},
            {"add", FileStep::Write, 2, ENOSPC,
             [](Form1& w, ScriptedDialogs& d, const QString& out) {
                 QFile file(out + QStringLiteral("/NEW.TXT"));
                 QVERIFY(file.open(QIODevice::WriteOnly));
                 file.write(QByteArray(5000, 'n'));
                 file.close();
                 d.openFilesAnswers = {{file.fileName()}};
                 w.mnuFileAdd_Click();
             }},
            {"remove", FileStep::Read, 3, EIO,
             [](Form1& w, ScriptedDialogs& d, const QString&) {
                 w.List1->setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
                 d.questionAnswers = {true};
                 w.mnuFileRemove_Click();
             }},
            {"rename", FileStep::Write, 1, EROFS,
             [](Form1& w, ScriptedDialogs& d, const QString&) {
                 w.List1->setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
                 w.List1_Click();
                 d.inputAnswers = {QStringLiteral("ZED.MIP")};
                 w.mnuFileRename_Click();
             }},
        };
        for (const Command& command : commands) {
            QTemporaryDir dir, out;
            const QString path = dir.filePath(QStringLiteral("FAULT.DAT"));
            std::vector<TestEntry> entries;
            for (std::uint8_t code = 0; code < 6; ++code)
                entries.push_back({"P" + std::to_string(code) + ".MIP",
                                   EncodePicture(RandomPicture(PictureKind::Mip, code, 40, 30, code))});
            WriteFile(path.toStdString(), BuildArchive(entries));
            const QByteArray before = Read(path);

            ScriptedDialogs d;
            Form1 w(d);
            w.show();
            w.Combo1->setCurrentIndex(5); // All files: the add command asks for it
            w.OpenArchiveByPath(QStringLiteral("FAULT.DAT"), path);
            {
                FailNth fault(command.step, command.nth, command.error);
                command.run(w, d, out.path());
            }
            const QString context = QString::fromLatin1(command.name);
            QVERIFY2(!d.messages.isEmpty(), qPrintable(context));
            const QString expected = QStringLiteral("The following error occurred:\n");
            QVERIFY2(d.messages.last().text.startsWith(expected), qPrintable(context));
            QVERIFY2(d.messages.last().text.contains(QString::fromUtf8(std::strerror(command.error))),
                     qPrintable(d.messages.last().text));
            QVERIFY2(!w.StatusBar1->font().bold(), qPrintable(context));
            QVERIFY2(w.StatusBar1->currentMessage().isEmpty(), qPrintable(context));
            QVERIFY2(QApplication::overrideCursor() == nullptr, qPrintable(context));
            QVERIFY2(w.updatesEnabled(), qPrintable(context));
            QVERIFY2(Read(path) == before, qPrintable(context));
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"FAULT.DAT"});
            for (const QString& name : QDir(out.path()).entryList(QDir::Files | QDir::Hidden))
                QVERIFY2(!name.startsWith(QLatin1Char('.')), qPrintable(context + ": " + name));
        }
    }
};

QTEST_MAIN(FaultsTest)
#include "faults_test.moc"
