// The window on every archive of the hostile set: it opens it or says why not, shows its lines one by one
// (with the mask, and the enlarged view of pictures), saves the pictures as BMP and JPEG files and
// extracts every entry, all without crashing, without leaving a busy display behind, and without writing
// anything outside the folder chosen.

#include "app/form1.h"
#include "app/settings.h"
#include "archive/file_system.h"
#include "archive_builder.h"
#include "hostile_archives.h"
#include "scripted_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QListWidget>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <filesystem>
#include <map>

using namespace kelvot;
using namespace kelvot::app;
using namespace kelvot::testkit;
namespace fs = std::filesystem;

namespace {

using Tree = std::map<fs::path, std::vector<std::uint8_t>>;

// Every file under the root but those under `skip`, with its bytes.
Tree Snapshot(const fs::path& root, const fs::path& skip) {
    Tree tree;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        if (it->path() == skip)
            it.disable_recursion_pending();
        else if (!it->is_directory())
            tree[fs::relative(it->path(), root)] = ReadWholeFile(it->path());
    }
    return tree;
}

} // namespace

class HostileTest : public QObject {
    Q_OBJECT

    QTemporaryDir settingsDir;

  private slots:
    void initTestCase() {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    }

    void everyArchiveIsShownAndWrittenOutInsideTheChosenFolderOnly() {
        for (const HostileArchive& hostile : HostileArchives()) {
            const QString context = QString::fromStdString(hostile.name);
            QTemporaryDir dir;
            const fs::path root = dir.path().toStdString();
            const fs::path out = root / "a" / "b"; // entries climbing two folders up land in the root
            fs::create_directories(out);
            WriteFile(root / "ARCH.DAT", hostile.bytes);
            const Tree before = Snapshot(root, out);

            ScriptedDialogs d;
            Form1 w(d);
            w.show();
            w.Combo1->setCurrentIndex(5); // All files
            w.Check1->setChecked(true);
            w.OpenArchiveByPath(QStringLiteral("ARCH.DAT"),
                                QString::fromStdString((root / "ARCH.DAT").string()));
            QVERIFY2(w.archive() != nullptr || !d.messages.isEmpty(), qPrintable(context));

            // Each line in turn (the first hundred and the last of a long list), pictures enlarged too.
            const int lines = w.List1->count();
            for (int row = 0; row < lines; row = row + 1 == 100 ? std::max(row + 1, lines - 1) : row + 1) {
                w.List1->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
                w.List1_Click();
                w.Pic1_Click();
                w.Pic1_KeyDown(Qt::Key_Right, Qt::NoModifier);
                w.Pic1_KeyDown(Qt::Key_Escape, Qt::NoModifier);
                QVERIFY2(w.normalView(), qPrintable(context));
            }
            w.List1->selectAll();
            w.List1_Click();
            const QString folder = QString::fromStdString(out.string());
            d.folderAnswers = {folder, folder, folder};
            w.mnuFileSaveAsBMP_Click();
            w.mnuFileSaveAsJPG_Click();
            w.mnuFileExtractAll_Click();

            for (const ShownMessage& m : d.messages) {
                QVERIFY2(!m.text.isEmpty(), qPrintable(context));
                QVERIFY2(!m.text.contains(QStringLiteral("std::")) &&
                             !m.text.contains(QStringLiteral("bad_alloc")),
                         qPrintable(context + ": " + m.text));
            }
            QVERIFY2(!w.StatusBar1->font().bold(), qPrintable(context));
            QVERIFY2(w.StatusBar1->currentMessage().isEmpty(), qPrintable(context));
            QVERIFY2(QApplication::overrideCursor() == nullptr, qPrintable(context));
            QVERIFY2(w.updatesEnabled(), qPrintable(context));
            QVERIFY2(Snapshot(root, out) == before,
                     qPrintable(context + ": a file outside the folder changed"));
            QVERIFY2(!fs::exists(kAbsoluteEscape), qPrintable(context));
            for (const auto& e : fs::directory_iterator(out))
                QVERIFY2(!e.path().filename().string().starts_with(".kelvot"), qPrintable(context));
        }
    }
};

QTEST_MAIN(HostileTest)
#include "hostile_test.moc"
