// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "mqtt_url.h"

namespace kv::power {

inline constexpr std::size_t kDefaultMqttQueue = 10000;

using mqtt::MqttUrl;

// Everything the kv3710-power command line sets; what it leaves empty comes from the
// analyzer's settings.
struct PowerOptions {
    std::optional<std::string> device;  // --device PATH
    std::optional<int> port;            // --port COMn, 1-based
    std::optional<int> baud;
    std::optional<float> centerMHz;
    std::optional<float> spanMHz;
    std::optional<int> points;
    std::optional<double> intervalSeconds;  // -i; none: one line per sweep
    bool peak = false;                      // -P: the maximum of the interval, not the mean
    bool once = false;                      // -1
    std::optional<std::chrono::milliseconds> duration;  // -e
    bool quiet = false;
    bool help = false;
    bool version = false;
    std::string output = "-";  // a file, or "-" for standard output
    bool outputNamed = false;  // FILE or "-" was given: with --mqtt, write it too
    std::optional<MqttUrl> mqtt;
    std::optional<std::string> mqttCaFile;
    std::optional<std::string> mqttPasswordFile;
    std::optional<std::size_t> mqttQueue;  // none: kDefaultMqttQueue
    std::optional<std::string> radioId;
    // --limit DB or --limit FILE (a mask): the alarm's limit.
    std::optional<double> limitDb;
    std::optional<std::string> limitFile;
    std::optional<int> alarmHold;        // none: kDefaultAlarmHold
    std::optional<double> alarmClearDb;  // none: kDefaultAlarmClearDb
};

struct OptionsResult {
    std::optional<PowerOptions> options;
    std::string error;  // one line, set when options is empty
};

// `args` without the program name. Long options take "--name VALUE" or "--name=VALUE".
OptionsResult parseOptions(std::span<const std::string> args);

// "30s", "15m", "2h" or plain seconds; decimals allowed. Nothing for anything else, <= 0 or
// beyond 24 days.
std::optional<std::chrono::milliseconds> parseDuration(std::string_view text);

std::string_view helpText();

}  // namespace kv::power
