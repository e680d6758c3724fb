#pragma once

// The window's list of entry names. Lines already selected, dragged out of it, carry the files that
// `dragOut` makes of them, so a file manager copies the entries where they are dropped; a drag that starts
// on a line not selected selects the lines it passes over, as it always has.

#include <QListWidget>
#include <functional>

namespace kelvot::app {

class EntryList : public QListWidget {
    Q_OBJECT
  public:
    explicit EntryList(QWidget* parent = nullptr);

    // The data for a drag of these lines, or nullptr to start no drag.
    std::function<QMimeData*(const QList<QListWidgetItem*>& lines)> dragOut;

  protected:
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QList<QListWidgetItem*>& items) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    bool pressedOnSelection_ = false;
};

} // namespace kelvot::app
