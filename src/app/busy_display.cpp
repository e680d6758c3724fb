#include "app/busy_display.h"

#include <QCoreApplication>

namespace kelvot::app {

BusyDisplay::BusyDisplay(QStatusBar* bar, const QString& text) : bar_(bar) {
    QFont font = bar_->font();
    font.setBold(true);
    bar_->setFont(font);
    bar_->showMessage(text);
    // Paint the text now; the command holds the thread until it is done.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

BusyDisplay::~BusyDisplay() {
    QFont font = bar_->font();
    font.setBold(false);
    bar_->setFont(font);
    bar_->clearMessage();
}

} // namespace kelvot::app
