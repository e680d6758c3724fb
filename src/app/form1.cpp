#include "app/form1.h"

#include "app/app_support.h"
#include "app/names.h"
#include "app/preview.h"
#include "app/settings.h"
#include "app/ui_guards.h"
#include "app/window_layout.h"
#include "archive/error.h"
#include "archive/file_system.h"
#include "archive/name_filter.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QWindow>
#include <algorithm>
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
    Text1 = new QLineEdit(central);
    Text1->setPlaceholderText(QStringLiteral("Filter names"));
    Text1->setToolTip(QStringLiteral("Names holding this text; with * or ?, names matching it"));
    Text1->setClearButtonEnabled(true);
    auto* clearText1 = new QAction(Text1);
    clearText1->setShortcut(QKeySequence(Qt::Key_Escape));
    clearText1->setShortcutContext(Qt::WidgetShortcut);
    Text1->addAction(clearText1);
    connect(clearText1, &QAction::triggered, Text1, &QLineEdit::clear);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), this), &QShortcut::activated, this, [this] {
        if (!Text1->isVisible()) return; // the enlarged view hides it with the list
        Text1->setFocus(Qt::ShortcutFocusReason);
        Text1->selectAll();
    });
    List1 = new EntryList(central);
    List1->dragOut = [this](const QList<QListWidgetItem*>& lines) { return DragOutEntries(lines); };
    Thumbs = new ThumbnailView(List1, central);
    Thumbs->hide();
    setAcceptDrops(true);
    List1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    List1->setUniformItemSizes(true);
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setSizeGripEnabled(false);
    // Fixed shares of the bar, whatever the texts: a long one must not push the others while stepping.
    constexpr std::array<int, 7> kPanelShares{4, 2, 2, 1, 2, 2, 3};
    for (std::size_t k = 0; k < Panels.size(); ++k) {
        Panels[k] = new QLabel(StatusBar1);
        Panels[k]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        StatusBar1->addWidget(Panels[k], kPanelShares[k]);
    }
    setStatusBar(StatusBar1);

    BuildMenus();
    List1->viewport()->installEventFilter(this);
    Thumbs->viewport()->installEventFilter(this);
    connect(Thumbs, &QListView::doubleClicked, this, &Form1::List1_DblClick);
    List1->installEventFilter(this);
    Thumbs->installEventFilter(this);
    connect(List1, &QListWidget::itemDoubleClicked, this, &Form1::List1_DblClick);
    connect(Pic1, &PictureBox::clicked, this, &Form1::Pic1_Click);
    connect(Pic1, &PictureBox::pressed, this, &Form1::Pic1_MouseDown);
    connect(Pic1, &PictureBox::keyPressed, this, &Form1::Pic1_KeyDown);
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Combo1, &QComboBox::currentIndexChanged, this, &Form1::Combo1_Click);
    connect(List1, &QListWidget::itemSelectionChanged, this, &Form1::List1_Click);
    connect(Check1, &QCheckBox::toggled, this, &Form1::Check1_Click);
    connect(Text1, &QLineEdit::textChanged, this, &Form1::Text1_Change);

    Form_Initialize();
    Form_Load();
}

void Form1::Form_Initialize() {
    const QString stored = OpenSettings()->value(QStringLiteral("JPEGQuality/JPGQuality")).toString();
    SetJpegQuality(StoredJpegQuality(stored.toStdString()));
    mnuViewCheckerboard->setChecked(OpenSettings()->value(kCheckerboardKey, false).toBool());
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
    mnuViewThumbnails->setChecked(OpenSettings()->value(kThumbnailsKey, false).toBool());
    mnuViewThumbnails_Click();
}

void Form1::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    ApplyLayout();
    if (!shownPicture_) return;
    // Drawn again for the boxes' new size from the bytes kept; a zoomed picture keeps its zoom.
    const auto& [kind, bytes] = *shownPicture_;
    if (!Pic1->isEmpty() && Pic1->fitted()) ShowPicture(Pic1, kind, bytes, mnuViewCheckerboard->isChecked());
    if (!Pic2->isEmpty()) ShowMask(Pic2, kind, bytes);
}

void Form1::FitFrameToLayout() {
    if (frameFitted_ || !windowHandle() || isMaximized() || isFullScreen()) return;
    const QMargins margins = windowHandle()->frameMargins();
    if (margins == frameMargins_) return;
    frameMargins_ = margins;
    frameFitted_ = !margins.isNull();
    setMinimumSize(minimumFrame_.shrunkBy(margins));
    setGeometry(Round(startLayout_.window).marginsRemoved(margins));
}

void Form1::KeepControlsWhole() {
    // What each control needs to show all its text: the check box and label their size hints; the button
    // and the combo box their text inside their frames, not the extra width styles give short ones.
    const int room = 2 * Command1->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    int longest = 0;
    for (int i = 0; i < Combo1->count(); ++i)
        longest = std::max(longest, Combo1->fontMetrics().horizontalAdvance(Combo1->itemText(i)));
    const int arrow = Combo1->style()->pixelMetric(QStyle::PM_MenuButtonIndicator);
    double sx = 0, sy = 0;
    auto need = [&](QSize size, const Box& b) {
        sx = std::max(sx, std::min(1.0, size.width() / b.width));
        sy = std::max(sy, std::min(1.0, size.height() / b.height));
    };
    need({Command1->fontMetrics().horizontalAdvance(Command1->text()) + room, Command1->sizeHint().height()},
         startLayout_.Command1);
    need({Label1->sizeHint().width(), 0}, startLayout_.Label1);
    need({longest + room + arrow, 0}, startLayout_.Combo1); // drawn lower than its hint even at start
    need(Check1->sizeHint(), startLayout_.Check1);
    // The rule sizes the frame; the client area is the frame less its margins.
    minimumFrame_ = QSize(static_cast<int>(std::ceil(sx * startLayout_.window.width)),
                          static_cast<int>(std::ceil(sy * startLayout_.window.height)));
    setMinimumSize(minimumFrame_.shrunkBy(frameMargins_));
}

// The start-up layout, stretched with the window's frame so that it keeps its proportions.
void Form1::ApplyLayout() {
    const QRect frame = frameGeometry();
    const double sx = frame.width() / startLayout_.window.width,
                 sy = frame.height() / startLayout_.window.height;
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
    place(Text1, startLayout_.Text1);
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
        KeepControlsWhole();
        FitFrameToLayout();
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
    undo_.Forget();
    UpdateUndoItem();
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
    ArchiveModel read = model_ ? ReloadArchive(file, *model_) : LoadArchive(file);
    const bool unchanged = model_ && UnchangedSince(read, *model_);
    model_ = std::move(read);
    archiveFile_ = std::move(file);
    // The decoding threads read through a descriptor of their own, which outlives this one if need be.
    // Thumbnails already decoded stay when the archive has not changed.
    Thumbs->setArchive(
        &*model_,
        std::make_shared<FileHandle>(::dup(archiveFile_.fd()), archiveFile_.path(), archiveFile_.shown()),
        unchanged);
}

void Form1::OpenArchive(const QString& title, const QString& path) {
    try {
        ReadArchive(path);
    } catch (const std::exception& error) {
        ShowReadError(error);
        return;
    }
    currentArchivePath_ = path;
    undo_.Forget(); // the step belongs to the archive the window showed
    UpdateUndoItem();
    ShowLoadedArchive(title, path);
}

// The name filter's text stays when another archive opens, as a file manager's filter stays from folder
// to folder: it is in sight above the list, and Escape clears it.
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
    typeLines_ = ListedEntries(*model_, listedFilter_);
    typeTexts_.clear();
    typeTexts_.reserve(static_cast<qsizetype>(typeLines_.size()));
    for (const std::int32_t i : typeLines_)
        typeTexts_.append(NameToText(model_->Directory.EntryNames[i]));
    return FillNamedLines();
}

bool Form1::FillNamedLines() {
    const QSignalBlocker blocker(List1);
    List1->clear();
    shownLines_ = ApplyNameFilter(*model_, typeLines_, Text1->text().toStdString());
    // The lines shown are some of the type filter's, in the same order: their texts are shared, not made.
    QStringList texts;
    texts.reserve(static_cast<qsizetype>(shownLines_.size()));
    std::size_t k = 0;
    for (const std::int32_t i : shownLines_) {
        while (typeLines_[k] != i)
            ++k;
        texts.append(typeTexts_[static_cast<qsizetype>(k++)]);
    }
    List1->addItems(texts);
    return !texts.isEmpty();
}

// A keystroke filters the lines of the last read again; the file is not read.
void Form1::Text1_Change() {
    if (!model_) return; // nothing open: the text waits for the first archive
    const int row = List1->currentRow();
    const std::optional<std::int32_t> current =
        row >= 0 && row < std::ssize(shownLines_) ? std::optional(shownLines_[row]) : std::nullopt;
    UpdatesSuspended suspended(this);
    if (!FillNamedLines()) {
        ClearPreviewAndPanels();
        setWindowTitle(kAppTitle);
        return;
    }
    // The current line stays current while the filter still shows it; else the first line is.
    const auto kept = std::find(shownLines_.begin(), shownLines_.end(), current.value_or(-1));
    {
        const QSignalBlocker blocker(List1);
        List1->setCurrentRow(kept == shownLines_.end() ? 0 : static_cast<int>(kept - shownLines_.begin()),
                             QItemSelectionModel::ClearAndSelect);
    }
    List1_Click();
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
    shownPicture_.reset();
    Pic1->clear();
    Pic2->clear();
    for (QLabel* panel : Panels)
        panel->clear();
}

} // namespace kelvot::app
