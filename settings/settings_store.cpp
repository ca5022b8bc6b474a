// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings_store.h"

#include <cctype>
#include <cmath>
#include <limits>
#include <type_traits>
#include <variant>

#include "log_categories.h"
#include "number_text.h"
#include "parse_number.h"
#include "rounding.h"
#include "setting_keys.h"
#include "setting_ranges.h"
#include "spectrum_model.h"

namespace kv {

namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// A whole decimal number text: sign, digits, optional fraction and exponent, nothing else.
std::optional<double> parseDecimal(const std::string& text) {
    const std::string t = trimmed(text);
    if (t.empty() || t.size() > 64) return std::nullopt;
    std::size_t i = 0;
    if (t[i] == '+' || t[i] == '-') ++i;
    bool digits = false;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, digits = true;
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, digits = true;
    }
    if (!digits) return std::nullopt;
    bool negativeExponent = false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        negativeExponent = i < t.size() && t[i] == '-';
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        bool expDigits = false;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])))
            ++i, expDigits = true;
        if (!expDigits) return std::nullopt;
    }
    if (i != t.size()) return std::nullopt;
    // Not strtod: the settings file holds a decimal point whatever the user's locale.
    const auto v = parseNumber<double>(t);
    // Out of range with a negative exponent (64 characters cannot overflow then) is a value too
    // small for a double: zero.
    if (!v && negativeExponent) return 0.0;
    return v;
}

template <typename Int>
std::optional<Int> parseInteger(const std::string& text) {
    const auto v = parseDecimal(text);
    if (!v) return std::nullopt;
    const double r = roundHalfEven(*v);
    if (r < std::numeric_limits<Int>::min() || r > std::numeric_limits<Int>::max())
        return std::nullopt;
    return static_cast<Int>(r);
}

bool equalsIgnoringCase(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(b[i])) return false;
    return i == a.size() && b[i] == 0;
}

template <typename T>
bool assignIf(T* target, const std::optional<T>& value) {
    if (value) *target = *value;
    return value.has_value();
}

// Converts the text into the key's variable; false when it does not convert.
bool assignText(const SettingField& field, const std::string& text) {
    return std::visit(
        [&text](auto* target) {
            using T = std::remove_pointer_t<decltype(target)>;
            if constexpr (std::is_same_v<T, std::int32_t>)
                return assignIf(target, parseInt32(text));
            else if constexpr (std::is_same_v<T, std::int16_t>)
                return assignIf(target, parseInt16(text));
            else if constexpr (std::is_same_v<T, Colour>) {
                const auto v = parseInt32(text);
                if (v) *target = static_cast<Colour>(*v);
                return v.has_value();
            } else if constexpr (std::is_same_v<T, float>)
                return assignIf(target, parseSingle(text));
            else if constexpr (std::is_same_v<T, bool>)
                return assignIf(target, parseBoolean(text));
            else {
                *target = text;
                return true;
            }
        },
        field);
}

}  // namespace

std::string readSetting(const SettingsBackend& store, const std::string& key,
                        const std::string& defaultText) {
    return store.read(kSettingsSection, key).value_or(defaultText);
}

std::optional<std::int16_t> parseInt16(const std::string& text) {
    return parseInteger<std::int16_t>(text);
}

std::optional<std::int32_t> parseInt32(const std::string& text) {
    return parseInteger<std::int32_t>(text);
}

std::optional<float> parseSingle(const std::string& text) {
    // Halfway between the largest float and the next power of two: anything below rounds to
    // the largest float (a text such as 3.4028235e38 holds it), anything from there on overflows.
    constexpr double kOverflow = 0x1.ffffffp+127;
    const auto v = parseDecimal(text);
    if (!v || std::fabs(*v) >= kOverflow) return std::nullopt;
    return static_cast<float>(*v);
}

std::optional<bool> parseBoolean(const std::string& text) {
    const std::string t = trimmed(text);
    if (equalsIgnoringCase(t, "True")) return true;
    if (equalsIgnoringCase(t, "False")) return false;
    const auto v = parseDecimal(t);
    if (!v) return std::nullopt;
    // Any number but zero is true, 0.4 included.
    return *v != 0;
}

std::string settingText(const SettingKey& key, const SettingValues& values) {
    SettingValues copy = values;  // the table hands out writable variables
    return std::visit(
        [](auto* value) -> std::string {
            using T = std::remove_pointer_t<decltype(value)>;
            if constexpr (std::is_same_v<T, std::string>)
                return *value;
            else if constexpr (std::is_same_v<T, float>)
                return singleText(*value);
            else if constexpr (std::is_same_v<T, bool>)
                return *value ? "True" : "False";
            // The store reads colours as signed 32-bit numbers; written so they read back.
            else if constexpr (std::is_same_v<T, Colour>)
                return std::to_string(static_cast<std::int32_t>(*value));
            else
                return std::to_string(*value);
        },
        key.field(copy));
}

bool readSettingText(const SettingKey& key, const std::string& text, SettingValues& values) {
    return assignText(key.field(values), text);
}

bool writeSettings(SettingsBackend& store,
                   const std::vector<std::pair<std::string, std::string>>& values) {
    if (store.writeAll(kSettingsSection, values)) return true;
    for (const auto& [key, value] : values)
        qCWarning(lcSettings).noquote() << "could not store" << QString::fromStdString(key) << '='
                                        << QString::fromStdString(value);
    return false;
}

std::string LoadResult::problem(const std::string& location) const {
    if (ok) return {};
    return "The settings file " + (location.empty() ? std::string() : location + " ") +
           "could not be read: \"" + failedKey + "\" holds \"" + failedText +
           "\", which is not a value it can take. It and the keys after it took their "
           "defaults; the port is chosen here.";
}

LoadResult loadSettings(const SettingsBackend& store, SharedState& state) {
    SettingValues& s = state.settings;
    LoadResult result;
    for (const SettingKey& key : kSettingKeys) {
        const std::string name(key.name);
        const std::string defaultText(key.defaultText);
        // After a failure the remaining keys are not read and take their defaults.
        const std::string text = result.ok ? readSetting(store, name, defaultText) : defaultText;
        const SettingField field = key.field(s);
        bool loaded = assignText(field, text);
        // The count sizes the trace; a channel travels to the radio as one byte. The other
        // ranges bind the program's editors only: a hand-written value loads as before.
        if (loaded && key.name == settingKey("Number of Points").name)
            loaded = settingInRange(key, s);
        if (!loaded) {
            qCWarning(lcSettings).noquote()
                << "setting" << QString::fromStdString(name) << "holds"
                << QString::fromStdString(text)
                << "which does not load; it and the keys after it take their defaults";
            result = {false, name, text};
            assignText(field, defaultText);
        }
    }
    // Sized even after a failed load (from the default count then), so that a sweep started
    // later, once the port has been set up by hand, has a trace to fill.
    createTraceArrays(state);
    return result;
}

bool saveSettings(SettingsBackend& store, const SettingValues& values) {
    // Written together: a program killed while it closes leaves the old five or the new five.
    std::vector<std::pair<std::string, std::string>> written;
    for (const SettingKey& key : kSettingKeys)
        if (writes(key.writers, SettingWriter::SaveSettings))
            written.emplace_back(key.name, settingText(key, values));
    return writeSettings(store, written);
}

}  // namespace kv
