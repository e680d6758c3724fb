#include "app/form1.h"

#include "app/names.h"
#include "app/preview.h"
#include "app/settings.h"
#include "app/ui_guards.h"
#include "app/window_layout.h"
#include "archive/error.h"
#include "archive/file_system.h"
#include "images/status_text.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <cerrno>
#include <cmath>
#include <cstring>

// The icon lives in the app library's resources, which a static library must register itself.
static void InitResources() { Q_INIT_RESOURCE(kelvot); }

namespace kelvot::app {

namespace {

const QString kLabel2Prefix = QStringLiteral("DAT file:  ");
const QStringList kFilterChoices = {QStringLiteral("3DO files"),       QStringLiteral("MIP files"),
                                    QStringLiteral("PBF files"),       QStringLiteral("SRB files"),
                                    QStringLiteral("All image files"), QStringLiteral("All files")};

std::filesystem::path ToFsPath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

QRect Round(const Box& b) {
    return QRect(static_cast<int>(std::lround(b.left)), static_cast<int>(std::lround(b.top)),
                 static_cast<int>(std::lround(b.width)), static_cast<int>(std::lround(b.height)));
}

QPixmap ProgramIcon() {
    InitResources();
    return QPixmap(QStringLiteral(":/kelvot/kelvot48.xpm"));
}

} // namespace

Form1::Form1(Dialogs& dialogs, QWidget* parent) : QMainWindow(parent), dialogs_(dialogs) {
    setWindowTitle(kAppTitle);
    setWindowIcon(ProgramIcon());
    auto* central = new QWidget(this);
    central->setAutoFillBackground(true);
    QPalette grey = central->palette();
    grey.setColor(QPalette::Window, QColor(128, 128, 128));
    central->setPalette(grey);
    setCentralWidget(central);

    Command1 = new QPushButton(QStringLiteral("Open DAT file..."), central);
    Label1 = new QLabel(QStringLiteral("Filter:"), central);
    Combo1 = new QComboBox(central);
    Label2 = new QLabel(QStringLiteral("DAT file:"), central);
    Label2->setWordWrap(true);
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Check1 = new QCheckBox(QStringLiteral("Show transparency mask (where applicable)"), central);
    Pic1 = new PictureBox(central);
    Pic2 = new PictureBox(central);
    List1 = new QListWidget(central);
    List1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    List1->setUniformItemSizes(true);
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setSizeGripEnabled(false);
    for (auto& panel : Panels) {
        panel = new QLabel(StatusBar1);
        StatusBar1->addWidget(panel, 1);
    }
    setStatusBar(StatusBar1);

    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Combo1, &QComboBox::currentIndexChanged, this, &Form1::Combo1_Click);
    connect(List1, &QListWidget::itemSelectionChanged, this, &Form1::List1_Click);
    connect(Check1, &QCheckBox::toggled, this, &Form1::Check1_Click);

    Form_Initialize();
    Form_Load();
}

void Form1::Form_Initialize() {
    jpegQuality_ =
        OpenSettings()->value(QStringLiteral("JPEGQuality/JPGQuality"), QStringLiteral("Superb")).toString();
}

void Form1::Form_Load() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect whole = screen->geometry();
    const QRect work = screen->availableGeometry();
    const WindowLayout l = ComputeWindowLayout(whole.width(), whole.height(), work.top(), work.height());
    setGeometry(Round(l.window));
    Command1->setGeometry(Round(l.Command1));
    Label1->setGeometry(Round(l.Label1));
    Combo1->setGeometry(Round(l.Combo1));
    Label2->setGeometry(Round(l.Label2));
    Check1->setGeometry(Round(l.Check1));
    Pic1->setGeometry(Round(l.Pic1));
    Pic2->setGeometry(Round(l.Pic2));
    List1->setGeometry(Round(l.List1));
    StatusBar1->setFixedHeight(static_cast<int>(std::lround(l.statusBarHeight)));
}

void Form1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!activated_) {
        activated_ = true;
        Form_Activate();
    }
}

void Form1::Form_Activate() {
    List1->clear();
    Combo1->addItems(kFilterChoices);
    Combo1->setCurrentIndex(static_cast<int>(kInitialFilter));
}

void Form1::closeEvent(QCloseEvent* event) {
    Form_Unload();
    QMainWindow::closeEvent(event);
}

void Form1::Form_Unload() {
    OpenSettings()->setValue(QStringLiteral("JPEGQuality/JPGQuality"), jpegQuality_);
}

TypeFilter Form1::CurrentFilter() const {
    const int index = Combo1->currentIndex();
    return index < 0 ? kInitialFilter : static_cast<TypeFilter>(index);
}

void Form1::ShowReadError(const std::exception& error) {
    int number = ENOMEM;
    QString description = QString::fromLocal8Bit(std::strerror(ENOMEM));
    if (const auto* known = dynamic_cast<const KelvotError*>(&error)) {
        number = known->number();
        description = QString::fromUtf8(known->what());
    }
    dialogs_.message(this, MessageIcon::None, kAppTitle,
                     QStringLiteral("Error %1 reading file.\n%2").arg(number).arg(description));
}

void Form1::Command1_Click() {
    const auto choice =
        dialogs_.openFile(this, QStringLiteral("Open DAT file"), QStringLiteral("DAT files (*.dat)"));
    if (!choice) {
        List1->setFocus();
        return;
    }
    OpenArchive(choice->title, choice->path);
}

void Form1::OpenArchiveByPath(const QString& title, const QString& path) {
    if (!ArchiveFileExists(ToFsPath(path))) {
        dialogs_.message(this, MessageIcon::Critical, kAppTitle,
                         QStringLiteral("The file %1 does not exist.\nYou may have deleted it or moved it to "
                                        "another folder.")
                             .arg(path));
        return;
    }
    OpenArchive(title, path);
}

void Form1::OpenArchive(const QString& title, const QString& path) {
    try {
        model_ = LoadArchive(ToFsPath(path));
    } catch (const std::exception& error) { // KelvotError, or no memory for a huge file
        ShowReadError(error);
        return;
    }
    currentArchivePath_ = path;
    ShowLoadedArchive(title, path);
}

void Form1::ShowLoadedArchive(const QString& title, const QString& path) {
    ClearPreviewAndPanels();
    {
        UpdatesSuspended suspended(this);
        Label2->setText(kLabel2Prefix + path);
        if (FillList()) SelectFirstLine();
    }
    emit archiveOpened(title, path);
}

void Form1::Combo1_Click() {
    if (currentArchivePath_.isEmpty()) return; // nothing open yet: the start-up choice of the filter
    // The archive is read again, so the list shows what is on disk now.
    std::optional<ArchiveModel> reloaded;
    try {
        reloaded = LoadArchive(ToFsPath(currentArchivePath_));
    } catch (const std::exception& error) {
        ShowReadError(error);
        // The list still shows the archive as it was; put the filter back to match it.
        const QSignalBlocker blocker(Combo1);
        Combo1->setCurrentIndex(static_cast<int>(listedFilter_));
        return;
    }
    model_ = std::move(reloaded);
    UpdatesSuspended suspended(this);
    ClearPreviewAndPanels();
    if (FillList()) SelectFirstLine();
}

bool Form1::FillList() {
    listedFilter_ = CurrentFilter();
    const QSignalBlocker blocker(List1);
    List1->clear();
    const auto lines = ListedEntries(*model_, listedFilter_);
    QStringList texts;
    texts.reserve(static_cast<qsizetype>(lines.size()));
    for (const std::int32_t i : lines)
        texts.append(NameToText(model_->Directory.EntryNames[i]));
    List1->addItems(texts);
    return !texts.isEmpty();
}

void Form1::SelectFirstLine() {
    {
        const QSignalBlocker blocker(List1);
        List1->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
    }
    List1->setFocus();
    List1_Click();
}

void Form1::ClearPreviewAndPanels() {
    Pic1->clear();
    Pic2->clear();
    for (QLabel* panel : Panels)
        panel->clear();
}

std::optional<std::int32_t> Form1::ResolveCurrentLine() {
    const QListWidgetItem* line = List1->currentItem();
    if (!model_ || !line) return std::nullopt;
    const auto name = TextToName(line->text());
    const auto index = name ? model_->FindEntry(*name) : std::nullopt;
    if (index) {
        CurrentEntryOffset = model_->Directory.EntryOffsets[*index];
        CurrentEntrySize = model_->Directory.EntrySizes[*index];
        SelectedNameFieldOffset = model_->Directory.NameFieldOffsets[*index];
    }
    return index;
}

void Form1::List1_Click() {
    Pic1->setEnabled(true);
    if (List1->selectionModel()->selectedRows().size() >= 2) {
        ClearPreviewAndPanels();
        Pic1->setEnabled(false); // a click on it would enlarge one of several pictures
        setWindowTitle(kAppTitle);
        return;
    }
    const auto index = ResolveCurrentLine();
    const QString text = List1->currentItem() ? List1->currentItem()->text() : QString();
    const std::string lineName = TextToName(text).value_or(std::string());
    const std::optional<EntryType> type =
        index ? std::optional(model_->Directory.EntryTypes[*index]) : std::nullopt;
    const EntryBytes entry = index ? model_->EntryBytes(*index) : EntryBytes();

    UpdatesSuspended suspended(this);
    const QByteArray separator = QLocale().decimalPoint().toUtf8();
    const auto texts =
        StatusPanelTexts({type, lineName, entry, CurrentEntrySize, List1->currentRow() + 1, List1->count()},
                         std::string_view(separator.constData(), separator.size()));
    for (std::size_t k = 0; k < Panels.size(); ++k)
        Panels[k]->setText(QString::fromStdString(texts[k]));
    Pic1->clear();
    Pic2->clear();
    SelectedName = text;
    setWindowTitle(SelectedName);

    const auto kind = type ? PictureKindOf(*type) : std::nullopt;
    if (!kind) return;
    WaitCursor wait;
    if (const auto picture = DecodePicture(*kind, entry)) DrawPreview(Pic1, *picture);
    if (Check1->isChecked())
        if (const auto mask = DecodeMask(*kind, entry)) DrawPreview(Pic2, *mask);
}

void Form1::Check1_Click() {
    if (!Check1->isChecked()) {
        Pic2->clear();
        List1->setFocus();
        return;
    }
    if (List1->count() == 0) return;
    const auto index = ResolveCurrentLine();
    const auto kind = index ? PictureKindOf(model_->Directory.EntryTypes[*index]) : std::nullopt;
    if (!kind) return;
    if (const auto mask = DecodeMask(*kind, model_->EntryBytes(*index))) DrawPreview(Pic2, *mask);
    List1->setFocus();
}

void Form1::BrowseForFolder() {
    const QString prompt = PackingMode
                               ? QStringLiteral("Please select the folder containing the files that you wish to pack.")
                               : QStringLiteral("Please select the destination folder.");
    const QString start =
        currentArchivePath_.isEmpty() ? QDir::currentPath() : QFileInfo(currentArchivePath_).absolutePath();
    ChosenFolder = dialogs_.chooseFolder(this, prompt, start);
}

void Form1::mnuHelpAbout_Click() {
    dialogs_.about(this, kAppTitle,
                   QStringLiteral("        Kelvot\n\n        Version %1\n\n        Author: Kelvot contributors    ")
                       .arg(QStringLiteral(KELVOT_VERSION)),
                   ProgramIcon());
}

} // namespace kelvot::app
