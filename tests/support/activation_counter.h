#pragma once

#include <QEvent>
#include <QObject>
#include <QWidget>

namespace kv::test {

// Counts the times a window became active.
class ActivationCounter : public QObject {
  public:
    explicit ActivationCounter(QWidget& window) { window.installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::WindowActivate) ++count;
        return false;
    }
    int count = 0;
};

}  // namespace kv::test
