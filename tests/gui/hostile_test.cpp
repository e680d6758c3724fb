// The window on every archive of the hostile set: it opens it or says why not, shows its lines one by one
// (with the mask, and the enlarged view of pictures), saves the pictures as BMP and JPEG files and
// extracts every entry, all without crashing, without a message that shows the program's insides, without
// leaving a busy display behind and without changing the archive. Where the files go is the core's and
// kelvot-cli's tests' business (tests/archive/extract_test, tests/cli/hostile_archives_test).

#include "archive/file_system.h"
#include "gui_support.h"
#include "hostile_archives.h"

#include <QCheckBox>
#include <QtTest>

using namespace kelvot;
using namespace kelvot::app;
using namespace kelvot::testkit;

class HostileTest : public QObject {
    Q_OBJECT

  private slots:
    void everyArchiveIsShownAndWrittenOut() {
        for (const HostileArchive& hostile : HostileArchives()) {
            const QString context = QString::fromStdString(hostile.name) + ": ";
            QTemporaryDir dir;
            const QString out = dir.filePath("a/b"); // should a name climb two folders up, it stays in dir
            QDir().mkpath(out);
            const QString path = dir.filePath("ARCH.DAT");
            WriteFile(path.toStdString(), hostile.bytes);

            Window s({}, kAllFiles);
            Form1& w = s.w;
            w.Check1->setChecked(true);
            w.OpenArchiveByPath("ARCH.DAT", path);
            QVERIFY2(w.archive() != nullptr || !s.d.messages().isEmpty(), qPrintable(context));

            // Each line in turn (the first hundred and the last of a long list), pictures enlarged too.
            const int lines = w.List1->count();
            for (int row = 0; row < lines; row = row + 1 == 100 ? std::max(row + 1, lines - 1) : row + 1) {
                s.selectRow(row, context);
                w.Pic1_Click();
                w.Pic1_KeyDown(Qt::Key_Right, Qt::NoModifier);
                w.Pic1_KeyDown(Qt::Key_Escape, Qt::NoModifier);
                QVERIFY2(w.normalView(), qPrintable(context));
            }
            w.List1->selectAll();
            s.d.answers = {out, out, out};
            for (auto command : {&Form1::mnuFileSaveAsBMP_Click, &Form1::mnuFileSaveAsJPG_Click,
                                 &Form1::mnuFileExtractAll_Click})
                s.run(command, context);
            for (const QString& m : s.d.messages())
                QVERIFY2(!m.endsWith(": ") && !m.contains("std::") && !m.contains("bad_alloc"),
                         qPrintable(context + m));
            QVERIFY2(ReadWholeFile(path.toStdString()) == hostile.bytes, qPrintable(context));
        }
    }
};

QTEST_MAIN(HostileTest)
#include "hostile_test.moc"
