// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>

#include "timer.h"

namespace kv {

// Timer over a QTimer. The reply waits enable and disable Timer1 twice per trace point, and
// registering and killing a Qt timer for each shows in the sweep's CPU time; so enabling only
// moves a deadline, and the QTimer, left running, re-arms itself when it fires early.
class QtTimer : public QObject, public Timer {
    Q_OBJECT
  public:
    explicit QtTimer(int intervalMs, QObject* parent = nullptr);
    void setEnabled(bool enabled) override;
    void setInterval(int milliseconds) override;
    std::chrono::milliseconds remainingTime() const override;

  private:
    using Clock = std::chrono::steady_clock;
    // Makes the QTimer fire no later than the deadline.
    void armFor(Clock::time_point deadline);
    void onTimeout();

    QTimer timer_;
    int interval_;
    bool enabled_ = false;
    Clock::time_point deadline_;  // of the current period while enabled
    Clock::time_point firesAt_;   // when the running QTimer is due
};

}  // namespace kv
