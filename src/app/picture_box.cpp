#include "app/picture_box.h"

#include "images/fitting.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace kelvot::app {

namespace {

// Enlarged this much or more, a picture's pixels are drawn as squares rather than blurred.
constexpr double kCrispFrom = 2.0;

void PaintCheckerboard(QPainter& painter, const QRectF& area) {
    static const QPixmap tile = [] {
        QPixmap squares(16, 16);
        squares.fill(QColor(204, 204, 204));
        QPainter p(&squares);
        p.fillRect(0, 0, 8, 8, QColor(153, 153, 153));
        p.fillRect(8, 8, 8, 8, QColor(153, 153, 153));
        return squares;
    }();
    painter.fillRect(area, QBrush(tile));
}

} // namespace

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(224, 224, 224));
    setPalette(p);
    setFocusPolicy(Qt::ClickFocus);
}

void PictureBox::clear() {
    image_ = QImage();
    press_.reset();
    update();
}

void PictureBox::setPicture(QImage image, QSize pictureSize, int step) {
    image_ = std::move(image);
    pictureSize_ = pictureSize;
    step_ = step;
    fit();
}

void PictureBox::replaceImage(QImage image, int step) {
    image_ = std::move(image);
    step_ = step;
    update();
}

ZoomFrame PictureBox::Frame() const {
    return {double(width()), double(height()), double(pictureSize_.width()), double(pictureSize_.height())};
}

QRectF PictureBox::Target() const {
    if (fitted_) {
        const DrawRect r = FitPicture(width(), height(), pictureSize_.width(), pictureSize_.height());
        return QRectF(r.x, r.y, r.width, r.height);
    }
    return QRectF(view_.left, view_.top, view_.scale * pictureSize_.width(),
                  view_.scale * pictureSize_.height());
}

void PictureBox::fit() {
    fitted_ = true;
    press_.reset();
    if (!pictureSize_.isEmpty()) {
        const QRectF r = Target();
        view_ = {r.width() / pictureSize_.width(), r.left(), r.top()};
    }
    update();
}

void PictureBox::zoomTo(double scale, QPointF around) {
    if (image_.isNull()) return;
    view_ = ZoomAround(view_, scale, around.x(), around.y(), Frame());
    fitted_ = false;
    update();
}

bool PictureBox::pannable() const {
    const QRectF r = Target();
    return !image_.isNull() && (r.width() > width() || r.height() > height());
}

void PictureBox::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (fitted_)
        fit();
    else
        view_ = PlaceInView(view_, Frame());
}

void PictureBox::paintEvent(QPaintEvent*) {
    if (image_.isNull()) return;
    QPainter painter(this);
    const QRectF target = Target();
    // Only the part in view is drawn: a picture zoomed far in is many times the box's size.
    const QRectF shown = target.intersected(QRectF(rect()));
    if (shown.isEmpty()) return;
    const double sx = image_.width() / target.width(), sy = image_.height() / target.height();
    const QRectF source((shown.left() - target.left()) * sx, (shown.top() - target.top()) * sy,
                        shown.width() * sx, shown.height() * sy);
    if (image_.hasAlphaChannel()) PaintCheckerboard(painter, shown);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, target.width() < kCrispFrom * image_.width());
    painter.drawImage(shown, image_, source);
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
    if (isEnabled()) setFocus(Qt::MouseFocusReason);
    if (event->button() == Qt::LeftButton && pannable()) {
        press_ = event->position();
        dragged_ = false;
        return;
    }
    emit pressed(event->button());
}

void PictureBox::mouseMoveEvent(QMouseEvent* event) {
    if (!press_) return;
    const QPointF moved = event->position() - *press_;
    if (!dragged_ && moved.manhattanLength() < QApplication::startDragDistance()) return;
    dragged_ = true;
    press_ = event->position();
    view_ = PlaceInView({view_.scale, view_.left + moved.x(), view_.top + moved.y()}, Frame());
    fitted_ = false;
    update();
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && press_) {
        press_.reset();
        if (dragged_) return;
        emit pressed(Qt::LeftButton);
    }
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
}

void PictureBox::keyPressEvent(QKeyEvent* event) {
    emit keyPressed(event->key(), event->modifiers());
}

} // namespace kelvot::app
