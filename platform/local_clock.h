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

class LocalClock {
  public:
    virtual ~LocalClock() = default;
    virtual LocalTime now() const = 0;
};

// The machine's local time of day.
class SystemLocalClock : public LocalClock {
  public:
    LocalTime now() const override;
};

}  // namespace kv
