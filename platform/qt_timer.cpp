// SPDX-License-Identifier: GPL-3.0-or-later
#include "qt_timer.h"

#include <algorithm>

namespace kv {

QtTimer::QtTimer(int intervalMs, QObject* parent) : QObject(parent), interval_(intervalMs) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] { onTimeout(); });
}

void QtTimer::setEnabled(bool enabled) {
    enabled_ = enabled;
    // Disabling leaves the QTimer running: when it fires it finds the timer disabled.
    if (!enabled) return;
    deadline_ = Clock::now() + std::chrono::milliseconds(interval_);  // a fresh period
    armFor(deadline_);
}

void QtTimer::setInterval(int milliseconds) {
    interval_ = milliseconds;
    // As with a QTimer, a running period starts afresh with the new interval.
    if (enabled_) setEnabled(true);
}

std::chrono::milliseconds QtTimer::remainingTime() const {
    if (!enabled_) return std::chrono::milliseconds::max();
    return std::max(std::chrono::ceil<std::chrono::milliseconds>(deadline_ - Clock::now()),
                    std::chrono::milliseconds(0));
}

void QtTimer::armFor(Clock::time_point deadline) {
    // A QTimer due earlier only wakes up to re-arm for the rest of the period.
    if (timer_.isActive() && firesAt_ <= deadline) return;
    const auto now = Clock::now();
    const auto wait = std::max(std::chrono::ceil<std::chrono::milliseconds>(deadline - now),
                               std::chrono::milliseconds(0));
    timer_.start(wait);
    firesAt_ = now + wait;
}

void QtTimer::onTimeout() {
    if (!enabled_) return;
    const auto now = Clock::now();
    if (now < deadline_) {
        armFor(deadline_);
        return;
    }
    // It goes on ticking every period until it is disabled, usually by its own handler.
    deadline_ = now + std::chrono::milliseconds(interval_);
    raiseTick();
    if (enabled_) armFor(deadline_);
}

}  // namespace kv
