// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <variant>

#include "setting_values.h"

namespace kv {

// Who writes a key back to the store (any combination).
enum class SettingWriter : unsigned {
    None = 0,
    SaveSettings = 1,   // at exit
    PortDialog = 2,     // OK of the serial port dialog
    ColoursDialog = 4,  // every colour change
    SweepDialog = 8,    // OK of the sweep dialog
};
constexpr SettingWriter operator|(SettingWriter a, SettingWriter b) {
    return static_cast<SettingWriter>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}
constexpr bool writes(SettingWriter set, SettingWriter one) {
    return (static_cast<unsigned>(set) & static_cast<unsigned>(one)) != 0;
}

// The variable a key is loaded into; its type decides the key's text form.
using SettingField =
    std::variant<std::int32_t*, std::int16_t*, std::string*, Colour*, float*, bool*>;

struct SettingKey {
    std::string_view name;
    std::string_view defaultText;  // a missing key reads as this text
    SettingWriter writers;
    SettingField (*field)(SettingValues&);
};

// The 24 keys in the order they are loaded: name, default, who writes it and its variable,
// whose type gives the key's text form.
inline constexpr std::array<SettingKey, 24> kSettingKeys{{
    {"Port", "0", SettingWriter::SaveSettings | SettingWriter::PortDialog,
     [](SettingValues& s) -> SettingField { return &s.port; }},
    {"Baud", "11", SettingWriter::PortDialog,
     [](SettingValues& s) -> SettingField { return &s.baud; }},
    {"Data", "0", SettingWriter::None, [](SettingValues& s) -> SettingField { return &s.data; }},
    {"Parity", "0", SettingWriter::None,
     [](SettingValues& s) -> SettingField { return &s.parity; }},
    {"Stop", "0", SettingWriter::None, [](SettingValues& s) -> SettingField { return &s.stop; }},
    {"Background Color", "0", SettingWriter::ColoursDialog,
     [](SettingValues& s) -> SettingField { return &s.backgroundColor; }},
    {"Graph Color", "65280", SettingWriter::ColoursDialog,
     [](SettingValues& s) -> SettingField { return &s.graphColor; }},
    {"Message Color", "65280", SettingWriter::ColoursDialog,
     [](SettingValues& s) -> SettingField { return &s.messageColor; }},
    {"Grid Color", "8404992", SettingWriter::ColoursDialog,
     [](SettingValues& s) -> SettingField { return &s.gridColor; }},
    {"Label Color", "0", SettingWriter::ColoursDialog,
     [](SettingValues& s) -> SettingField { return &s.labelColor; }},
    {"Marker1 Color", "65280", SettingWriter::ColoursDialog,
     [](SettingValues& s) -> SettingField { return &s.markerColor[0]; }},
    {"Marker2 Color", "255", SettingWriter::ColoursDialog,
     [](SettingValues& s) -> SettingField { return &s.markerColor[1]; }},
    {"Center Frequency", "915", SettingWriter::SaveSettings | SettingWriter::SweepDialog,
     [](SettingValues& s) -> SettingField { return &s.centerFrequency; }},
    {"Span", "26", SettingWriter::SaveSettings | SettingWriter::SweepDialog,
     [](SettingValues& s) -> SettingField { return &s.span; }},
    {"Amplitude", "-40", SettingWriter::SaveSettings | SettingWriter::SweepDialog,
     [](SettingValues& s) -> SettingField { return &s.amplitude; }},
    {"Attenuator", "0", SettingWriter::SaveSettings | SettingWriter::SweepDialog,
     [](SettingValues& s) -> SettingField { return &s.attenuator; }},
    {"Graph Top", "500", SettingWriter::None,
     [](SettingValues& s) -> SettingField { return &s.graphTop; }},
    {"Graph Bottom", "1000", SettingWriter::None,
     [](SettingValues& s) -> SettingField { return &s.graphBottom; }},
    {"Graph Left", "500", SettingWriter::None,
     [](SettingValues& s) -> SettingField { return &s.graphLeft; }},
    {"Graph Right", "500", SettingWriter::None,
     [](SettingValues& s) -> SettingField { return &s.graphRight; }},
    {"Number of Gradiants", "10", SettingWriter::SweepDialog,
     [](SettingValues& s) -> SettingField { return &s.numberOfGradiants; }},
    {"View Markers", "True", SettingWriter::None,
     [](SettingValues& s) -> SettingField { return &s.viewMarkers; }},
    {"View Function1", "True", SettingWriter::None,
     [](SettingValues& s) -> SettingField { return &s.viewFunction1; }},
    {"Number of Points", "50", SettingWriter::SweepDialog,
     [](SettingValues& s) -> SettingField { return &s.numberOfPoints; }},
}};

// The window's own section beside "Settings": its place and size, and the waterfall strip's
// state, height and time per row, and the folder the save dialogs last chose in, each written
// at exit once it has a value.
inline constexpr const char* kWindowSection = "Window";
inline constexpr std::array<std::string_view, 9> kWindowKeys{
    "Left",           "Top",        "Width", "Height", "Maximized", "Waterfall", "Waterfall Height",
    "Waterfall Rows", "Last Folder"};

// The window key of that name; a name not in the table does not compile.
consteval const char* windowKey(std::string_view name) {
    for (const std::string_view key : kWindowKeys)
        if (key == name) return key.data();
    throw "no such window key";
}

// The key of that name; a name not in the table does not compile.
consteval const SettingKey& settingKey(std::string_view name) {
    for (const SettingKey& key : kSettingKeys)
        if (key.name == name) return key;
    throw "no such settings key";
}

}  // namespace kv
