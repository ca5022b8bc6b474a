// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QWidget>

namespace kv {

// Keeps a non-modal dialog in front of the program's other windows: when another window of
// the program becomes active while the dialog is shown, the dialog takes the focus back.
// Windows of other programs, modal windows (a colour chooser, a message box) and windows
// that keep the focus the same way are left alone. Owned by the dialog it watches.
class FocusKeeper : public QObject {
    Q_OBJECT
  public:
    explicit FocusKeeper(QWidget& dialog);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void reclaim();

    QWidget& dialog_;
    bool pending_ = false;
};

}  // namespace kv
