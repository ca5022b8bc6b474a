#include "qt_timer.h"

namespace kv {

QtTimer::QtTimer(int intervalMs, QObject* parent) : QObject(parent) {
    timer_.setInterval(intervalMs);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] { raiseTick(); });
}

void QtTimer::setEnabled(bool enabled) {
    if (enabled)
        timer_.start();  // a fresh period every time it is enabled
    else
        timer_.stop();
}

void QtTimer::setInterval(int milliseconds) {
    timer_.setInterval(milliseconds);
}

}  // namespace kv
