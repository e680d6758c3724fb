#pragma once

// A preview box: shows one picture at the place the fitting rule gives it, or nothing. The enlarged view
// zooms it around a point and pans it with the left button when it is larger than the box.

#include "images/view_zoom.h"

#include <QImage>
#include <QRect>
#include <QWidget>
#include <optional>

namespace kelvot::app {

class PictureBox : public QWidget {
    Q_OBJECT
  public:
    explicit PictureBox(QWidget* parent = nullptr);

    void clear();
    // A picture of pictureSize, decoded at every step-th row and column, fitted. An image with an alpha
    // channel is drawn over a checkerboard.
    void setPicture(QImage image, QSize pictureSize, int step = 1);
    // A finer decode of the same picture, drawn where the coarser one was.
    void replaceImage(QImage image, int step);
    bool isEmpty() const { return image_.isNull(); }
    const QImage& picture() const { return image_; }
    QSize pictureSize() const { return pictureSize_; }
    int step() const { return step_; }
    QRect target() const { return Target().toRect(); }

    bool fitted() const { return fitted_; }
    double scale() const { return view_.scale; }
    void fit();
    // Zooms to `scale` keeping the picture's point under `around` where it is.
    void zoomTo(double scale, QPointF around);
    bool pannable() const;

  signals:
    // A left-button press on a picture that can be panned comes on its release, when it was no drag.
    void pressed(Qt::MouseButton button);
    // A left-button press and release inside the box.
    void clicked();
    void keyPressed(int key, Qt::KeyboardModifiers modifiers);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    ZoomFrame Frame() const;
    QRectF Target() const;

    QImage image_;
    QSize pictureSize_;
    int step_ = 1;
    bool fitted_ = true;
    ZoomView view_;
    std::optional<QPointF> press_; // where a left-button press that may become a drag was last seen
    bool dragged_ = false;
};

} // namespace kelvot::app
