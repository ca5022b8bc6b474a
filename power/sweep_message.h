// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "alarm.h"
#include "serial_ports.h"
#include "setting_values.h"

namespace kv::power {

// The MQTT message of one interval, with the numbers of its sweep-log line:
// {"time":"2024-05-01T12:34:56.789Z","seq":0,"hz_low":904000000,"hz_high":928000000,
//  "hz_step":2000000.00,"samples":1,"db":[-95.00,...]}. `begun` is when the interval began.
std::string formatSweepMessage(const SettingValues& band,
                               std::chrono::system_clock::time_point begun, std::uint64_t seq,
                               int samples, std::span<const double> levelsDb);

// The retained MQTT message of an alarm as it changed:
// {"active":true,"since":"2024-05-01T12:34:56.789Z","peak_hz":915000000,"peak_db":-48.00,
//  "excess_db":22.00,"points":[12,13],"occupancy":[0.00,...]}.
std::string formatAlarmMessage(const AlarmEvent& event);

// A character that may stand in a topic level as the logger names them: no separator, no
// wildcard, no blank or control character.
bool isTopicCharacter(char c);

// The radio's name in the topics when --radio-id gives none: the serial number in the
// by-id name of the device at `devicePath`, else "<host>-<the device's file name>", with
// other characters as '_'.
std::string defaultRadioId(const std::vector<SerialDevice>& devices, const std::string& devicePath,
                           const std::string& hostName);

}  // namespace kv::power
