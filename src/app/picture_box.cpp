#include "app/picture_box.h"

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

} // namespace kelvot::app
