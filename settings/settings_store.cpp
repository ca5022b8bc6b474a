#include "settings_store.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "rounding.h"
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
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        bool expDigits = false;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])))
            ++i, expDigits = true;
        if (!expDigits) return std::nullopt;
    }
    if (i != t.size()) return std::nullopt;
    const double v = std::strtod(t.c_str(), nullptr);
    if (!std::isfinite(v)) return std::nullopt;
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

}  // namespace

std::string readSetting(const SettingsBackend& store, const std::string& key,
                        const std::string& defaultText) {
    return store.read(kSettingsSection, key).value_or(defaultText);
}

bool writeSetting(SettingsBackend& store, const std::string& key, const std::string& value) {
    return store.write(kSettingsSection, key, value);
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

std::string singleText(float value) {
    if (value == 0 || !std::isfinite(value)) return "0";
    // The fewest significant digits, seven at most, that read back as the same value: a value
    // read from a text of up to seven digits is written back as that text, not with the float's
    // rounding error showing in the seventh digit.
    constexpr int kMaxDigits = 7;
    char digits[32];
    for (int precision = 1; precision <= kMaxDigits; ++precision) {
        std::snprintf(digits, sizeof digits, "%.*e", precision - 1, static_cast<double>(value));
        if (std::strtof(digits, nullptr) == value) break;
    }
    const bool negative = digits[0] == '-';
    const char* p = digits + (negative ? 1 : 0);
    std::string mantissa;
    for (const char* c = p; *c != 'e'; ++c)
        if (*c != '.') mantissa += *c;
    const int exponent = std::atoi(std::strchr(p, 'e') + 1);
    while (mantissa.size() > 1 && mantissa.back() == '0') mantissa.pop_back();
    std::string out;
    const int pointAt = exponent + 1;  // digits before the decimal point
    if (pointAt <= 0) {
        out = "0." + std::string(static_cast<std::size_t>(-pointAt), '0') + mantissa;
    } else if (pointAt >= static_cast<int>(mantissa.size())) {
        out = mantissa + std::string(static_cast<std::size_t>(pointAt) - mantissa.size(), '0');
    } else {
        out = mantissa.substr(0, static_cast<std::size_t>(pointAt)) + "." +
              mantissa.substr(static_cast<std::size_t>(pointAt));
    }
    return negative ? "-" + out : out;
}

LoadResult loadSettings(const SettingsBackend& store, SharedState& state) {
    SettingValues& s = state.settings;
    LoadResult result;
    // Each entry reads one key; after a failure the remaining keys take their defaults.
    auto load = [&](const char* key, const char* defaultText, auto&& assign) {
        const std::string text = result.ok ? readSetting(store, key, defaultText) : defaultText;
        if (!assign(text)) {
            if (result.ok) result = {false, key};
            assign(std::string(defaultText));
        }
    };
    auto int32Into = [](std::int32_t& target) {
        return [&target](const std::string& t) {
            auto v = parseInt32(t);
            if (v) target = *v;
            return v.has_value();
        };
    };
    auto int16Into = [](std::int16_t& target) {
        return [&target](const std::string& t) {
            auto v = parseInt16(t);
            if (v) target = *v;
            return v.has_value();
        };
    };
    auto colourInto = [](Colour& target) {
        return [&target](const std::string& t) {
            auto v = parseInt32(t);
            if (v) target = static_cast<Colour>(*v);
            return v.has_value();
        };
    };
    auto singleInto = [](float& target) {
        return [&target](const std::string& t) {
            auto v = parseSingle(t);
            if (v) target = *v;
            return v.has_value();
        };
    };
    auto booleanInto = [](bool& target) {
        return [&target](const std::string& t) {
            auto v = parseBoolean(t);
            if (v) target = *v;
            return v.has_value();
        };
    };
    auto textInto = [](std::string& target) {
        return [&target](const std::string& t) {
            target = t;
            return true;
        };
    };

    load("Port", "0", int32Into(s.port));
    load("Baud", "11", textInto(s.baud));
    load("Data", "0", textInto(s.data));
    load("Parity", "0", int32Into(s.parity));
    load("Stop", "0", textInto(s.stop));
    load("Background Color", "0", colourInto(s.backgroundColor));
    load("Graph Color", "65280", colourInto(s.graphColor));
    load("Message Color", "65280", colourInto(s.messageColor));
    load("Grid Color", "8404992", colourInto(s.gridColor));
    load("Label Color", "0", colourInto(s.labelColor));
    load("Marker1 Color", "65280", colourInto(s.markerColor[0]));
    load("Marker2 Color", "255", colourInto(s.markerColor[1]));
    load("Center Frequency", "915", singleInto(s.centerFrequency));
    load("Span", "26", singleInto(s.span));
    load("Amplitude", "-40", singleInto(s.amplitude));
    load("Attenuator", "0", int16Into(s.attenuator));
    load("Graph Top", "500", int16Into(s.graphTop));
    load("Graph Bottom", "1000", int16Into(s.graphBottom));
    load("Graph Left", "500", int16Into(s.graphLeft));
    load("Graph Right", "500", int16Into(s.graphRight));
    load("Number of Gradiants", "10", int16Into(s.numberOfGradiants));
    load("View Markers", "True", booleanInto(s.viewMarkers));
    load("View Function1", "True", booleanInto(s.viewFunction1));
    load("Number of Points", "50", [&s](const std::string& t) {
        auto v = parseInt16(t);
        if (!v || *v < 1 || *v > kMaxPoints) return false;
        s.numberOfPoints = *v;
        return true;
    });
    // Sized even after a failed load (from the default count then), so that a sweep started
    // later, once the port has been set up by hand, has a trace to fill.
    createTraceArrays(state);
    return result;
}

bool saveSettings(SettingsBackend& store, const SettingValues& s) {
    // Written together: a program killed while it closes leaves the old five or the new five.
    return store.writeAll(kSettingsSection, {{"Port", std::to_string(s.port)},
                                             {"Center Frequency", singleText(s.centerFrequency)},
                                             {"Span", singleText(s.span)},
                                             {"Amplitude", singleText(s.amplitude)},
                                             {"Attenuator", std::to_string(s.attenuator)}});
}

std::string getProgramDirectory(const std::string& executableDirectory, MessageBox& messages) {
    if (executableDirectory.empty()) {
        messages.show("Can't locate program directory", kProgramTitle);
        return {};
    }
    if (executableDirectory.back() == '/') return executableDirectory;
    return executableDirectory + "/";
}

}  // namespace kv
