// The window on every archive of the hostile set: it opens it or says why not, shows its lines one by one
// (with the mask, and the enlarged view of pictures), saves the pictures as BMP and JPEG files and
// extracts every entry, all without crashing, without leaving a busy display behind, and without writing
// anything outside the folder chosen.

#include "archive/file_system.h"
#include "gui_support.h"
#include "hostile_archives.h"

#include <QCheckBox>
#include <QtTest>

using namespace kelvot;
using namespace kelvot::app;
using namespace kelvot::testkit;

// What a folder holds, hidden entries and folders too.
static QStringList Entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

class HostileTest : public QObject {
    Q_OBJECT

  private slots:
    void everyArchiveIsShownAndWrittenOutInsideTheChosenFolderOnly() {
        for (const HostileArchive& hostile : HostileArchives()) {
            const QString context = QString::fromStdString(hostile.name);
            QTemporaryDir dir;
            const QString out = dir.filePath("a/b"); // entries climbing two folders up land in the root
            QDir().mkpath(out);
            const QString path = dir.filePath("ARCH.DAT");
            WriteFile(path.toStdString(), hostile.bytes);

            Window s;
            Form1& w = s.w;
            w.Combo1->setCurrentIndex(kAllFiles);
            w.Check1->setChecked(true);
            w.OpenArchiveByPath("ARCH.DAT", path);
            QVERIFY2(w.archive() != nullptr || !s.d.messages.isEmpty(), qPrintable(context));

            // Each line in turn (the first hundred and the last of a long list), pictures enlarged too.
            const int lines = w.List1->count();
            for (int row = 0; row < lines; row = row + 1 == 100 ? std::max(row + 1, lines - 1) : row + 1) {
                s.selectRow(row);
                w.Pic1_Click();
                w.Pic1_KeyDown(Qt::Key_Right, Qt::NoModifier);
                w.Pic1_KeyDown(Qt::Key_Escape, Qt::NoModifier);
                QVERIFY2(w.normalView(), qPrintable(context));
            }
            w.List1->selectAll();
            s.d.folderAnswers = {out, out, out};
            w.mnuFileSaveAsBMP_Click();
            w.mnuFileSaveAsJPG_Click();
            w.mnuFileExtractAll_Click();

            for (const QString& m : s.d.messages)
                QVERIFY2(!m.endsWith(": ") && !m.contains("std::") && !m.contains("bad_alloc"),
                         qPrintable(context + ": " + m));
            QVERIFY2(s.leftovers().isEmpty(), qPrintable(context + ": " + s.leftovers()));
            // The names in the set climb at most two folders up, or name one absolute path.
            QVERIFY2(Entries(dir.path()) == (QStringList{"ARCH.DAT", "a"}) &&
                         Entries(dir.filePath("a")) == QStringList{"b"},
                     qPrintable(context + ": written outside the folder"));
            QVERIFY2(ReadWholeFile(path.toStdString()) == hostile.bytes, qPrintable(context));
            QVERIFY2(!QFileInfo::exists(kAbsoluteEscape), qPrintable(context));
            for (const QString& name : FilesIn(out))
                QVERIFY2(!name.startsWith(".kelvot"), qPrintable(context + ": " + name));
        }
    }
};

QTEST_MAIN(HostileTest)
#include "hostile_test.moc"
