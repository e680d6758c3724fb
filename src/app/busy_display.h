#pragma once

// While a long command runs: a wait cursor, and the status bar showing one bold text in place of its
// panels. Everything is put back when the scope ends, however it ends.

#include "app/ui_guards.h"
#include "archive/output_result.h"

#include <QElapsedTimer>
#include <QStatusBar>

namespace kelvot::app {

class BusyDisplay {
  public:
    BusyDisplay(QStatusBar* bar, const QString& text);
    ~BusyDisplay();
    BusyDisplay(const BusyDisplay&) = delete;
    BusyDisplay& operator=(const BusyDisplay&) = delete;

    // Shows "text done / total" a few times a second and keeps the window painted meanwhile.
    Progress progress();

  private:
    QStatusBar* bar_;
    QString text_;
    QElapsedTimer sinceShown_;
    WaitCursor cursor_;
};

} // namespace kelvot::app
