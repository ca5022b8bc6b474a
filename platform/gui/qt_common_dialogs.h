// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointer>
#include <QWidget>

#include "common_dialogs.h"

class QFileDialog;

namespace kv {

// The common dialogs over QColorDialog, QPrintDialog and QFileDialog, each shown modally.
class QtCommonDialogs : public CommonDialogs {
  public:
    // Each dialog stands over the program's active window, or over `fallbackParent` when
    // no window of the program is active.
    explicit QtCommonDialogs(QWidget* fallbackParent = nullptr);

    std::optional<Colour> showColor(Colour start) override;
    bool showPrinter(QPrinter& printer) override;
    std::optional<std::string> showSave() override;
    std::optional<std::string> chooseFile(const FileChoice& choice) override;

  private:
    QWidget* dialogParent() const;
    static std::optional<std::string> chosenPath(QFileDialog& dialog);

    QPointer<QWidget> fallbackParent_;
};

}  // namespace kv
