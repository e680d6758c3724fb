#include "app/busy_display.h"

#include <QCoreApplication>

namespace kelvot::app {

BusyDisplay::BusyDisplay(QStatusBar* bar, const QString& text) : bar_(bar), text_(text) {
    QFont font = bar_->font();
    font.setBold(true);
    bar_->setFont(font);
    bar_->showMessage(text);
    // Paint the text now; the command holds the thread until it is done.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    sinceShown_.start();
}

Progress BusyDisplay::progress() {
    return [this](std::int32_t done, std::int32_t total) {
        if (sinceShown_.elapsed() < 250 && done < total) return;
        sinceShown_.restart();
        bar_->showMessage(QStringLiteral("%1 %2 / %3").arg(text_).arg(done).arg(total));
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
}

BusyDisplay::~BusyDisplay() {
    QFont font = bar_->font();
    font.setBold(false);
    bar_->setFont(font);
    bar_->clearMessage();
}

} // namespace kelvot::app
