#pragma once

// A preview box: shows one picture at the place the fitting rule gives it, or nothing.

#include <QImage>
#include <QRect>
#include <QWidget>

namespace kelvot::app {

class PictureBox : public QWidget {
    Q_OBJECT
  public:
    explicit PictureBox(QWidget* parent = nullptr);

    void clear();
    void setPicture(QImage image, QRect target);
    bool isEmpty() const { return image_.isNull(); }
    const QImage& picture() const { return image_; }
    QRect target() const { return target_; }

  signals:
    void pressed(Qt::MouseButton button);
    // A left-button press and release inside the box.
    void clicked();
    void keyPressed(int key, Qt::KeyboardModifiers modifiers);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    QImage image_;
    QRect target_;
};

} // namespace kelvot::app
