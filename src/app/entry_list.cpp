#include "app/entry_list.h"

#include <QMouseEvent>

namespace kelvot::app {

EntryList::EntryList(QWidget* parent) : QListWidget(parent) {
    // Lines are dragged out only: a drop on the list is the window's (it adds the files).
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::CopyAction);
}

QStringList EntryList::mimeTypes() const {
    return {QStringLiteral("text/uri-list")};
}

QMimeData* EntryList::mimeData(const QList<QListWidgetItem*>& items) const {
    return dragOut ? dragOut(items) : nullptr;
}

void EntryList::mousePressEvent(QMouseEvent* event) {
    const QListWidgetItem* line = itemAt(event->position().toPoint());
    pressedOnSelection_ = line && line->isSelected();
    QListWidget::mousePressEvent(event);
}

void EntryList::mouseMoveEvent(QMouseEvent* event) {
    if (state() == DraggingState && !pressedOnSelection_) setState(DragSelectingState);
    QListWidget::mouseMoveEvent(event);
}

} // namespace kelvot::app
