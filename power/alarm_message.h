// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "alarm.h"

namespace kv::power {

// The retained MQTT message of an alarm as it changed:
// {"active":true,"since":"2024-05-01T12:34:56.789Z","peak_hz":915000000,"peak_db":-48.00,
//  "excess_db":22.00,"points":[12,13],"occupancy":[0.00,...]}.
std::string formatAlarmMessage(const AlarmEvent& event);

}  // namespace kv::power
