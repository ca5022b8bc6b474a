// SPDX-License-Identifier: GPL-3.0-or-later
#include "focus_keeper.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>

namespace kv {

FocusKeeper::FocusKeeper(QWidget& dialog) : QObject(&dialog), dialog_(dialog) {
    dialog_.installEventFilter(this);
}

bool FocusKeeper::eventFilter(QObject* watched, QEvent* event) {
    // Activating from inside the activation change would nest in Qt's own bookkeeping:
    // the focus is taken back as soon as that change has finished.
    if (watched == &dialog_ && event->type() == QEvent::WindowDeactivate && !pending_) {
        pending_ = true;
        QTimer::singleShot(0, this, &FocusKeeper::reclaim);
    }
    return false;
}

void FocusKeeper::reclaim() {
    pending_ = false;
    if (!dialog_.isVisible()) return;
    QWidget* active = QApplication::activeWindow();
    if (active == nullptr || active == &dialog_) return;  // another program, or already back
    if (QApplication::activeModalWidget() != nullptr) return;
    for (QWidget* w = active->parentWidget(); w != nullptr; w = w->parentWidget())
        if (w == &dialog_) return;  // a window the dialog opened itself
    // Two dialogs that both took the focus back would pass it to and fro for ever.
    if (active->findChild<FocusKeeper*>(QString(), Qt::FindDirectChildrenOnly) != nullptr) return;
    dialog_.activateWindow();
    dialog_.raise();
}

}  // namespace kv
