// SPDX-License-Identifier: GPL-3.0-or-later
#include "setting_ranges.h"

#include <algorithm>
#include <array>
#include <limits>
#include <string_view>
#include <type_traits>
#include <variant>

#include "settings_store.h"
#include "spectrum_model.h"

namespace kv {

namespace {

struct Range {
    std::string_view key;
    double lowest;
    double highest;
    bool lowestAllowed;  // false: only the values above it
};

// The reference level keeps part of the converter's levels (-97 to -42 dB) on the graph, which
// shows the 70 dB below it: above -90 a level of the floor still shows, below 20 the top of the
// range. The radio's attenuator steps up to 30 dB.
constexpr std::array<Range, 5> kRanges{{
    {"Number of Points", 1, kMaxPoints, true},
    {"Number of Gradiants", 1, 50, true},
    {"Span", 0, std::numeric_limits<double>::infinity(), false},
    {"Amplitude", -90, 20, true},
    {"Attenuator", 0, 30, true},
}};

const Range* rangeOf(const SettingKey& key) {
    const auto found = std::ranges::find(kRanges, key.name, &Range::key);
    return found == kRanges.end() ? nullptr : &*found;
}

// The bounds are whole numbers.
std::string wholeText(double value) {
    return std::to_string(static_cast<long long>(value));
}

// The key's variable as a number, for the keys that hold one.
std::optional<double> numberOf(const SettingKey& key, const SettingValues& values) {
    SettingValues copy = values;  // the table hands out writable variables
    return std::visit(
        [](auto* value) -> std::optional<double> {
            using T = std::remove_pointer_t<decltype(value)>;
            if constexpr (std::is_same_v<T, float> || std::is_same_v<T, std::int16_t> ||
                          std::is_same_v<T, std::int32_t>)
                return static_cast<double>(*value);
            else
                return std::nullopt;
        },
        key.field(copy));
}

}  // namespace

std::string settingRangeText(const SettingKey& key) {
    if (const Range* range = rangeOf(key)) {
        if (!range->lowestAllowed) return "above " + wholeText(range->lowest);
        return wholeText(range->lowest) + " to " + wholeText(range->highest);
    }
    SettingValues probe;
    return std::visit(
        [](auto* value) -> std::string {
            using T = std::remove_pointer_t<decltype(value)>;
            if constexpr (std::is_same_v<T, std::int16_t> || std::is_same_v<T, std::int32_t>)
                return std::to_string(std::numeric_limits<T>::min()) + " to " +
                       std::to_string(std::numeric_limits<T>::max());
            else
                return {};
        },
        key.field(probe));
}

bool settingInRange(const SettingKey& key, const SettingValues& values) {
    const Range* range = rangeOf(key);
    const auto value = numberOf(key, values);
    if (!range || !value) return true;
    const bool aboveLowest =
        range->lowestAllowed ? *value >= range->lowest : *value > range->lowest;
    return aboveLowest && *value <= range->highest;
}

std::optional<std::string> takeSettingText(const SettingKey& key, const std::string& text,
                                           SettingValues& values) {
    SettingValues taken = values;
    if (readSettingText(key, text, taken) && settingInRange(key, taken)) {
        values = taken;
        return std::nullopt;
    }
    const std::string range = settingRangeText(key);
    return "must be " + (range.empty() ? std::string("a number") : range);
}

}  // namespace kv
