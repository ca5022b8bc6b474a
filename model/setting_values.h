// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "colour.h"

namespace kv {

// The setting variables, zero or empty until the settings are loaded.
struct SettingValues {
    std::int32_t port = 0;  // 0-based: 0 is COM1
    std::string baud;       // the stored rate index; after start-up the rate text itself
    std::string data;
    std::int32_t parity = 0;
    std::string stop;
    Colour backgroundColor = 0;
    Colour graphColor = 0;
    Colour messageColor = 0;
    Colour gridColor = 0;
    Colour labelColor = 0;
    std::array<Colour, 2> markerColor{};
    float centerFrequency = 0;
    float span = 0;
    float amplitude = 0;
    std::int16_t attenuator = 0;
    std::int16_t graphTop = 0;
    std::int16_t graphBottom = 0;
    std::int16_t graphLeft = 0;
    std::int16_t graphRight = 0;
    std::int16_t numberOfGradiants = 0;
    bool viewMarkers = false;
    bool viewFunction1 = false;
    std::int16_t numberOfPoints = 0;
};

// The band: what places the points of a sweep.
inline bool sameBand(const SettingValues& a, const SettingValues& b) {
    return a.centerFrequency == b.centerFrequency && a.span == b.span &&
           a.numberOfPoints == b.numberOfPoints;
}
inline void restoreBand(SettingValues& to, const SettingValues& from) {
    to.centerFrequency = from.centerFrequency;
    to.span = from.span;
    to.numberOfPoints = from.numberOfPoints;
}

}  // namespace kv
