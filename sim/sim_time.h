// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>

namespace kv::sim {

// A point in time for the emulator: the distance from an epoch the caller picks (the I/O loop
// uses the monotonic clock, tests start at zero).
using SimTime = std::chrono::nanoseconds;

}  // namespace kv::sim
