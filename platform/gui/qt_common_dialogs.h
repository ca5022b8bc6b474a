// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointer>
#include <QWidget>

#include "common_dialogs.h"

class QFileDialog;

namespace kv {

// The common dialogs over QColorDialog, QPrintDialog and QFileDialog, each modal to the window
// it stands over but without a loop of its own: the answer comes from the program's event loop.
class QtCommonDialogs : public CommonDialogs {
  public:
    // Each dialog stands over the program's active window, or over `fallbackParent` when
    // no window of the program is active.
    explicit QtCommonDialogs(QWidget* fallbackParent = nullptr);

    void showColor(Colour start, Answer<std::optional<Colour>> chosen) override;
    void showPrinter(QPrinter& printer, Answer<bool> accepted) override;
    void showSave(const FileChoice& suggestion, PathAnswer chosen) override;
    void chooseFile(const FileChoice& choice, PathAnswer chosen) override;

  private:
    QWidget* dialogParent() const;
    static void openForPath(QFileDialog* dialog, PathAnswer chosen);

    QPointer<QWidget> fallbackParent_;
};

}  // namespace kv
