#pragma once

// Scoped states that must end on every way out of a command, exceptions included.

#include <QApplication>
#include <QWidget>

namespace kelvot::app {

// Suspends drawing of a window; resumes it unless it was already suspended by an outer scope.
class UpdatesSuspended {
  public:
    explicit UpdatesSuspended(QWidget* window) : window_(window), wasEnabled_(window->updatesEnabled()) {
        window_->setUpdatesEnabled(false);
    }
    ~UpdatesSuspended() {
        if (wasEnabled_) window_->setUpdatesEnabled(true);
    }
    UpdatesSuspended(const UpdatesSuspended&) = delete;
    UpdatesSuspended& operator=(const UpdatesSuspended&) = delete;

  private:
    QWidget* window_;
    bool wasEnabled_;
};

class WaitCursor {
  public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace kelvot::app
