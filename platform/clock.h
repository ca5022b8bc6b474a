// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace kv {

struct LocalTime {
    std::int32_t hours = 0;
    std::int32_t minutes = 0;
    std::int32_t seconds = 0;
    std::int32_t milliseconds = 0;
    std::int32_t total() const {
        return hours * 3600000 + minutes * 60000 + seconds * 1000 + milliseconds;
    }
};

// The two clocks of the machine: the local time of day, which the user reads and which steps
// (NTP, daylight saving, midnight), and a steady one that only runs forward, for durations.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual LocalTime localTime() const = 0;
    // Milliseconds since an arbitrary start well in the past: never 0 once running.
    virtual std::int64_t steadyMs() const = 0;
};

class SystemClock : public Clock {
  public:
    LocalTime localTime() const override;
    std::int64_t steadyMs() const override;
};

}  // namespace kv
