// SPDX-License-Identifier: GPL-3.0-or-later
#include "local_clock.h"

#include <QTime>

namespace kv {

LocalTime SystemLocalClock::now() const {
    const QTime t = QTime::currentTime();
    return {t.hour(), t.minute(), t.second(), t.msec()};
}

}  // namespace kv
