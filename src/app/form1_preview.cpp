// The preview of the selected entry, its mask, and the enlarged view that steps through the list.

#include "app/form1.h"
#include "app/names.h"
#include "app/preview.h"
#include "app/settings.h"
#include "app/ui_guards.h"
#include "images/picture_read.h"
#include "images/status_text.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QPushButton>

namespace kelvot::app {

std::optional<std::int32_t> Form1::ResolveCurrentLine() {
    const QListWidgetItem* line = List1->currentItem();
    if (!model_ || !line) return std::nullopt;
    const auto index = model_->FindEntryByText(line->text().toStdString());
    if (index) {
        CurrentEntry = index;
        CurrentEntrySize = model_->Directory.EntrySizes[*index];
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
    const std::vector<std::uint8_t> entry = index ? ShownBytes(*index) : std::vector<std::uint8_t>();

    UpdatesSuspended suspended(this);
    const QByteArray separator = QLocale().decimalPoint().toUtf8();
    const auto texts =
        StatusPanelTexts({type, lineName, entry, CurrentEntrySize, List1->currentRow() + 1, List1->count()},
                         std::string_view(separator.constData(), static_cast<std::size_t>(separator.size())));
    for (std::size_t k = 0; k < Panels.size(); ++k)
        Panels[k]->setText(QString::fromStdString(texts[k]));
    Pic1->clear();
    Pic2->clear();
    SelectedName = text;
    setWindowTitle(SelectedName);

    shownPicture_.reset();
    const auto kind = type ? PictureKindOf(*type) : std::nullopt;
    if (!kind) return;
    WaitCursor wait;
    shownPicture_.emplace(*kind, entry);
    DrawShownPicture();
}

void Form1::DrawShownPicture() {
    if (!shownPicture_) return;
    const auto& [kind, bytes] = *shownPicture_;
    ShowPicture(Pic1, kind, bytes, mnuViewCheckerboard->isChecked());
    if (Check1->isChecked() && NormalView) ShowMask(Pic2, kind, bytes);
}

void Form1::mnuViewCheckerboard_Click() {
    OpenSettings()->setValue(kCheckerboardKey, mnuViewCheckerboard->isChecked());
    if (!shownPicture_ || Pic1->isEmpty()) return;
    WaitCursor wait;
    ShowPicture(Pic1, shownPicture_->first, shownPicture_->second, mnuViewCheckerboard->isChecked());
}

void Form1::ZoomPicture(double scale, std::optional<QPointF> at) {
    if (NormalView || Pic1->isEmpty() || !shownPicture_) return;
    if (!at) {
        const QPoint pointer = Pic1->mapFromGlobal(QCursor::pos());
        at = Pic1->rect().contains(pointer) ? QPointF(pointer) : QRectF(Pic1->rect()).center();
    }
    WaitCursor wait;
    Pic1->zoomTo(scale, *at);
    SharpenPicture(Pic1, shownPicture_->first, shownPicture_->second, mnuViewCheckerboard->isChecked());
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
    ShowMask(Pic2, *kind, ShownBytes(*index));
    List1->setFocus();
}

void Form1::Pic1_Click() {
    if (List1->count() == 0 || !NormalView) return;
    EnterEnlargedView();
}

void Form1::List1_DblClick() {
    if (List1->count() > 0) Pic1_Click();
}

std::vector<std::uint8_t> Form1::ShownBytes(std::int32_t index) const {
    const auto kind = PictureKindOf(model_->Directory.EntryTypes[index]);
    if (!kind) return {};
    try {
        return ReadPictureBytes(archiveFile_, model_->EntryRange(index), *kind);
    } catch (const KelvotError&) {
        return {}; // the file has become shorter or unreadable: shown as an entry with nothing in it
    }
}

std::optional<std::pair<PictureKind, std::vector<std::uint8_t>>> Form1::CurrentPicture() const {
    if (!model_ || !CurrentEntry) return std::nullopt;
    const auto kind = PictureKindOf(model_->Directory.EntryTypes[*CurrentEntry]);
    if (!kind) return std::nullopt;
    std::vector<std::uint8_t> bytes = ShownBytes(*CurrentEntry);
    // Decoding it down to a single pixel says cheaply whether it can be shown, whatever its size.
    const auto extent = MeasurePicture(*kind, bytes);
    if (!extent || !DecodePicture(*kind, bytes, std::max(extent->Width, extent->Height))) return std::nullopt;
    return std::pair(*kind, std::move(bytes));
}

void Form1::EnterEnlargedView() {
    WaitCursor wait;
    const auto picture = CurrentPicture();
    if (!picture) return; // not a picture, or one that cannot be shown: the view stays as it is
    UpdatesSuspended suspended(this);
    NormalView = false;
    ApplyLayout();
    Pic1->clear();
    Pic2->clear();
    for (QWidget* control :
         std::initializer_list<QWidget*>{List1, Thumbs, Text1, Pic2, Check1, Command1, Combo1, Label1})
        control->hide();
    mnuFile->menuAction()->setEnabled(false);
    mnuFile->setEnabled(false); // its shortcuts too: the list they would act on is hidden
    shownPicture_ = *picture;
    DrawShownPicture();
    Pic1->setFocus();
    SelectedName = List1->currentItem() ? List1->currentItem()->text() : QString();
    setWindowTitle(SelectedName);
}

void Form1::ShowNormalLayout() {
    NormalView = true;
    ApplyLayout();
    Pic1->clear();
    Pic2->clear();
    for (QWidget* control : std::initializer_list<QWidget*>{Text1, Pic2, Check1, Command1, Combo1, Label1})
        control->show();
    mnuFile->menuAction()->setEnabled(true);
    mnuFile->setEnabled(true);
    mnuViewThumbnails_Click(); // the list, or its thumbnails
}

void Form1::LeaveEnlargedView() {
    UpdatesSuspended suspended(this);
    WaitCursor wait;
    ShowNormalLayout(); // always, whatever the entry
    shownPicture_ = CurrentPicture();
    DrawShownPicture();
    List1->setFocus();
}

void Form1::Pic1_KeyDown(int key, Qt::KeyboardModifiers modifiers) {
    if (NormalView) return;
    // The keypad's digits step like the arrows they carry, with Num Lock on or off.
    const bool keypad = modifiers.testFlag(Qt::KeypadModifier);
    if (modifiers.testFlag(Qt::ControlModifier)) {
        if (key == Qt::Key_Equal || key == Qt::Key_Plus || key == Qt::Key_Minus) {
            ZoomPicture(NextZoomScale(Pic1->scale(), key == Qt::Key_Minus ? -1 : 1));
            return;
        }
        if (key == Qt::Key_0 && !keypad) {
            Pic1->fit();
            return;
        }
        if (key == Qt::Key_1 && !keypad) {
            ZoomPicture(1);
            return;
        }
    }
    switch (key) {
    case Qt::Key_Escape:
        LeaveEnlargedView();
        break;
    case Qt::Key_Space:
    case Qt::Key_Right:
        StepTo(Step::Next);
        break;
    case Qt::Key_Backspace:
    case Qt::Key_Left:
        StepTo(Step::Previous);
        break;
    case Qt::Key_Home:
        StepTo(Step::First);
        break;
    case Qt::Key_End:
        StepTo(Step::Last);
        break;
    case Qt::Key_6:
        if (keypad) StepTo(Step::Next);
        break;
    case Qt::Key_4:
        if (keypad) StepTo(Step::Previous);
        break;
    case Qt::Key_7:
        if (keypad) StepTo(Step::First);
        break;
    case Qt::Key_1:
        if (keypad) StepTo(Step::Last);
        break;
    default:
        break;
    }
}

void Form1::Pic1_MouseDown(Qt::MouseButton button) {
    if (List1->count() == 0 || NormalView) return;
    if (button == Qt::LeftButton) StepTo(Step::Previous);
    if (button == Qt::RightButton) StepTo(Step::Next);
    SelectedName = List1->currentItem() ? List1->currentItem()->text() : QString();
    setWindowTitle(SelectedName);
}

void Form1::MouseWheel(int distance) {
    WheelDelta += distance;
    const int steps = WheelDelta / 120; // one notch; finer wheels send less a turn
    if (List1->count() > 0 && !NormalView) {
        if (steps > 0) StepTo(Step::Previous);
        if (steps < 0) StepTo(Step::Next);
        SelectedName = List1->currentItem() ? List1->currentItem()->text() : QString();
        setWindowTitle(SelectedName);
    }
    WheelDelta %= 120;
}

void Form1::StepTo(Step step) {
    const int n = List1->count();
    if (n == 0) return;
    const int i = List1->currentRow();
    int target = 0;
    switch (step) {
    case Step::Next:
        target = i + 1 >= n ? 0 : i + 1;
        break;
    case Step::Previous:
        target = i <= 0 ? n - 1 : i - 1;
        break;
    case Step::First:
        target = 0;
        break;
    case Step::Last:
        target = n - 1;
        break;
    }
    {
        const QSignalBlocker blocker(List1);
        List1->setCurrentRow(target, QItemSelectionModel::ClearAndSelect);
    }
    List1_Click();
}

} // namespace kelvot::app
