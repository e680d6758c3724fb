#include "app/form1.h"

#include "app/app_support.h"
#include "app/names.h"
#include "app/settings.h"
#include "app/ui_guards.h"
#include "app/window_layout.h"
#include "archive/error.h"
#include "archive/file_system.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QWindow>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <unistd.h>

namespace kelvot::app {

namespace {

const QString kLabel2Prefix = QStringLiteral("DAT file:  ");
const QStringList kFilterChoices = {QStringLiteral("3DO files"),       QStringLiteral("MIP files"),
                                    QStringLiteral("PBF files"),       QStringLiteral("SRB files"),
                                    QStringLiteral("All image files"), QStringLiteral("All files")};

QRect Round(const Box& b) {
    return QRect(static_cast<int>(std::lround(b.left)), static_cast<int>(std::lround(b.top)),
                 static_cast<int>(std::lround(b.width)), static_cast<int>(std::lround(b.height)));
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
    List1 = new EntryList(central);
    List1->dragOut = [this](const QList<QListWidgetItem*>& lines) { return DragOutEntries(lines); };
    Thumbs = new ThumbnailView(List1, central);
    Thumbs->hide();
    setAcceptDrops(true);
    List1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    List1->setUniformItemSizes(true);
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setSizeGripEnabled(false);
    for (auto& panel : Panels) {
        panel = new QLabel(StatusBar1);
        StatusBar1->addWidget(panel, 1);
    }
    setStatusBar(StatusBar1);

    BuildMenus();
    List1->viewport()->installEventFilter(this);
    Thumbs->viewport()->installEventFilter(this);
    connect(Thumbs, &QListView::doubleClicked, this, &Form1::List1_DblClick);
    connect(List1, &QListWidget::itemDoubleClicked, this, &Form1::List1_DblClick);
    connect(Pic1, &PictureBox::clicked, this, &Form1::Pic1_Click);
    connect(Pic1, &PictureBox::pressed, this, &Form1::Pic1_MouseDown);
    connect(Pic1, &PictureBox::keyPressed, this, &Form1::Pic1_KeyDown);
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Combo1, &QComboBox::currentIndexChanged, this, &Form1::Combo1_Click);
    connect(List1, &QListWidget::itemSelectionChanged, this, &Form1::List1_Click);
    connect(Check1, &QCheckBox::toggled, this, &Form1::Check1_Click);

    Form_Initialize();
    Form_Load();
}

void Form1::Form_Initialize() {
    const QString stored = OpenSettings()->value(QStringLiteral("JPEGQuality/JPGQuality")).toString();
    SetJpegQuality(StoredJpegQuality(stored.toStdString()));
}

void Form1::Form_Load() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect whole = screen->geometry();
    const QRect work = screen->availableGeometry();
    startLayout_ = ComputeWindowLayout(whole.width(), whole.height(), work.top(), work.height());
    setGeometry(Round(startLayout_.window));
    ApplyLayout();
    // The wheel is watched on the window itself, before any control sees it.
    createWinId();
    windowHandle()->installEventFilter(this);
    recent_.Load(*OpenSettings());
    RefreshRecentMenu();
    NormalView = true;
    mnuViewThumbnails->setChecked(OpenSettings()->value(QStringLiteral("View/Thumbnails"), false).toBool());
    mnuViewThumbnails_Click();
}

void Form1::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    ApplyLayout();
}

// The start-up layout, stretched with the window so that it keeps its proportions.
void Form1::ApplyLayout() {
    const double sx = width() / startLayout_.window.width, sy = height() / startLayout_.window.height;
    auto place = [&](QWidget* widget, const Box& b) {
        widget->setGeometry(Round({b.left * sx, b.top * sy, b.width * sx, b.height * sy}));
    };
    place(Command1, startLayout_.Command1);
    place(Label1, startLayout_.Label1);
    place(Combo1, startLayout_.Combo1);
    place(Label2, startLayout_.Label2);
    place(Check1, startLayout_.Check1);
    place(Pic2, startLayout_.Pic2);
    place(List1, startLayout_.List1);
    place(Thumbs, startLayout_.List1);
    Box pic1 = startLayout_.Pic1;
    if (!NormalView) {
        const QRect outer = frameGeometry();
        pic1.width = 0.93 * outer.width() / sx;
        pic1.height = 0.76 * outer.height() / sy;
    }
    place(Pic1, pic1);
    StatusBar1->setFixedHeight(static_cast<int>(std::lround(startLayout_.statusBarHeight * sy)));
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
    OpenSettings()->setValue(QStringLiteral("JPEGQuality/JPGQuality"),
                             QString::fromUtf8(JpegQualityWord(jpegQuality_).data()));
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

void Form1::ReadArchive(const QString& path) {
    FileHandle file = OpenForReading(ToFsPath(path));
    // A file that has not changed since it was last read keeps its types: a filter change reads only the
    // directory.
    model_ = model_ ? ReloadArchive(file, *model_) : LoadArchive(file);
    archiveFile_ = std::move(file);
    // The decoding threads read through a descriptor of their own, which outlives this one if need be.
    Thumbs->setArchive(&*model_, std::make_shared<FileHandle>(::dup(archiveFile_.fd()), archiveFile_.path(),
                                                              archiveFile_.shown()));
}

void Form1::OpenArchive(const QString& title, const QString& path) {
    try {
        ReadArchive(path);
    } catch (const std::exception& error) {
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
        ShowList();
    }
    AddRecentArchive(title, path);
}

void Form1::Combo1_Click() {
    if (currentArchivePath_.isEmpty()) return; // nothing open yet: the start-up choice of the filter
    // The directory is read again, so the list shows what is on disk now.
    try {
        ReadArchive(currentArchivePath_);
    } catch (const std::exception& error) {
        ShowReadError(error);
        // The list still shows the archive as it was; put the filter back to match it.
        const QSignalBlocker blocker(Combo1);
        Combo1->setCurrentIndex(static_cast<int>(listedFilter_));
        return;
    }
    UpdatesSuspended suspended(this);
    ClearPreviewAndPanels();
    ShowList();
}

void Form1::ShowList() {
    if (FillList())
        SelectFirstLine();
    else
        setWindowTitle(kAppTitle); // no line shows an entry, so no entry's name stays in the caption
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

} // namespace kelvot::app
