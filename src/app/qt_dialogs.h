#pragma once

#include "app/dialogs.h"

namespace kelvot::app {

class QtDialogs final : public Dialogs {
  public:
    std::optional<OpenFileChoice> openFile(QWidget* parent, const QString& title,
                                           const QString& filter) override;
    void message(QWidget* parent, MessageIcon icon, const QString& title, const QString& text) override;
};

} // namespace kelvot::app
