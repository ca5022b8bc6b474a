// SPDX-License-Identifier: GPL-3.0-or-later
#include "clock.h"

#include <QTime>
#include <chrono>

namespace kv {

LocalTime SystemClock::localTime() const {
    const QTime t = QTime::currentTime();
    return {t.hour(), t.minute(), t.second(), t.msec()};
}

std::int64_t SystemClock::steadyMs() const {
    // Counts from the machine's start, so it is far from 0 by the time anything reads it.
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace kv
