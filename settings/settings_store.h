// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "setting_keys.h"
#include "settings_backend.h"
#include "shared_state.h"

namespace kv {

inline constexpr const char* kSettingsSection = "Settings";

// The stored text for a key, or the text form of the default when the key is absent.
std::string readSetting(const SettingsBackend& store, const std::string& key,
                        const std::string& defaultText);
// Stores the values together, or logs each that was not stored; false then.
[[nodiscard]] bool writeSettings(SettingsBackend& store,
                                 const std::vector<std::pair<std::string, std::string>>& values);
// The key's variable in its text form.
std::string settingText(const SettingKey& key, const SettingValues& values);
// Reads the text into the key's variable as the load does; false, with the variable left as it
// was, when the text does not read as the variable's type.
[[nodiscard]] bool readSettingText(const SettingKey& key, const std::string& text,
                                   SettingValues& values);

// Text conversions of the store. Each returns nothing for a text that does not convert or
// lies outside the type's range.
std::optional<std::int16_t> parseInt16(const std::string& text);
std::optional<std::int32_t> parseInt32(const std::string& text);
std::optional<float> parseSingle(const std::string& text);
std::optional<bool> parseBoolean(const std::string& text);

struct [[nodiscard]] LoadResult {
    bool ok = true;
    std::string failedKey;   // the key that ended the load
    std::string failedText;  // and the text it held

    // Why the load failed, for the user: the key, its text and where it is kept.
    std::string problem(const std::string& location) const;
};

// Reads the 24 keys in order into state.settings and creates the trace arrays. A key that
// does not convert ends the load: it and every key after it take their defaults.
LoadResult loadSettings(const SettingsBackend& store, SharedState& state);

// Writes the keys the exit writes back: "Port", "Center Frequency", "Span", "Amplitude" and
// "Attenuator", in that order.
[[nodiscard]] bool saveSettings(SettingsBackend& store, const SettingValues& settings);

}  // namespace kv
