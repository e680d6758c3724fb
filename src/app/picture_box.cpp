#include "app/picture_box.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace kelvot::app {

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(224, 224, 224));
    setPalette(p);
    setFocusPolicy(Qt::ClickFocus);
}

void PictureBox::clear() {
    image_ = QImage();
    update();
}

void PictureBox::setPicture(QImage image, QRect target) {
    image_ = std::move(image);
    target_ = target;
    update();
}

void PictureBox::paintEvent(QPaintEvent*) {
    if (image_.isNull()) return;
    QPainter painter(this);
    painter.drawImage(target_, image_);
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
    if (isEnabled()) setFocus(Qt::MouseFocusReason);
    emit pressed(event->button());
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
}

void PictureBox::keyPressEvent(QKeyEvent* event) {
    emit keyPressed(event->key(), event->modifiers());
}

} // namespace kelvot::app
