// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <string_view>

#include "shared_state.h"
#include "virtual_keys.h"

namespace kv {

// What a key or the mouse does on the picture. Help → Keys and Mouse shows this table and the
// README's key table is checked against it, so the two cannot drift apart.
struct KeyUse {
    std::string_view keys;  // as the README writes them, e.g. "F4 / F5"
    std::string_view does;
};

inline constexpr std::array<KeyUse, 18> kKeyUses{{
    {"F1", "peak search: the active marker goes to the highest point measured so far"},
    {"F2", "max hold on/off: a point keeps its level unless a new one is higher"},
    {"F3",
     "marker delta on/off: a second marker appears and the readout shows marker 2 minus "
     "marker 1"},
    {"F4 / F5", "next peak to the left / right (a rise and a fall of 6 dB or more)"},
    {"F6", "view only on/off: stop measuring, keep showing the stored trace"},
    {"F7", "redraw everything"},
    {"Left / Right", "move the active marker by one point"},
    {"W", "waterfall strip on/off (View → Waterfall)"},
    {"L",
     "limit check on/off (Settings → Limit…): the limit line, the points above it and PASS or "
     "FAIL"},
    {"A", "average on/off (View → Average): the trace shows the mean of the last N sweeps"},
    {"+ / -", "while the average is on: N one more or one fewer (2 to 100, 10 at start)"},
    {"Page Up / Page Down",
     "reference level (Amplitude) up / down by 10 dB; the graph and its labels follow on the "
     "next pass"},
    {"Left click",
     "on the plot: the active marker moves to the point under the pointer (as far as the "
     "arrow keys would take it)"},
    {"Double click", "on the plot: the active marker goes to the highest point within 5 points"},
    {"Up / Down", "with a recording open: the sweep one older / newer"},
    {"Home / End", "with a recording open: the first / last sweep"},
    {"Space",
     "with a recording open: play the sweeps at their recorded pace (File → Play Speed) or stop"},
    {"Click / drag on the strip",
     "with a recording open: the sweep of that row / the maximum (with A on, the mean) over the "
     "rows dragged over"},
}};

// A menu item that does what a key does: chosen, it goes through the key commands with the
// key's code, so the menu and the key cannot differ. The key shows after a tab; it stays the
// picture's own key, not a menu shortcut, which would take it away from the picture.
struct KeyMenuItem {
    std::string_view name;  // the action's object name
    std::string_view caption;
    std::string_view key;
    int virtualKey;
    // For an on/off mode: whether it is on, for the item's check mark.
    bool (*on)(const SharedState&);
};

inline constexpr std::array<KeyMenuItem, 11> kTraceMenuItems{{
    {"Main_Trace_PeakSearch", "Peak Search", "F1", vk::kF1, nullptr},
    {"Main_Trace_MaxHold", "Max Hold", "F2", vk::kF2,
     [](const SharedState& s) { return s.flags.maxHold; }},
    {"Main_Trace_MarkerDelta", "Marker Delta", "F3", vk::kF3,
     [](const SharedState& s) { return s.markers.markerDelta; }},
    {"Main_Trace_PeakLeft", "Next Peak Left", "F4", vk::kF4, nullptr},
    {"Main_Trace_PeakRight", "Next Peak Right", "F5", vk::kF5, nullptr},
    {"Main_Trace_MarkerLeft", "Marker Left", "Left", vk::kLeft, nullptr},
    {"Main_Trace_MarkerRight", "Marker Right", "Right", vk::kRight, nullptr},
    {"Main_Trace_ViewOnly", "View Only", "F6", vk::kF6,
     [](const SharedState& s) { return s.flags.viewOnly; }},
    {"Main_Trace_Refresh", "Refresh", "F7", vk::kF7, nullptr},
    {"Main_Trace_LevelUp", "Reference Level Up", "PgUp", vk::kPageUp, nullptr},
    {"Main_Trace_LevelDown", "Reference Level Down", "PgDown", vk::kPageDown, nullptr},
}};

// Beside View → Average: the average's count, as + and - change it.
inline constexpr std::array<KeyMenuItem, 2> kAverageMenuItems{{
    {"Main_View_AverageMore", "Average One More", "+", vk::kAdd, nullptr},
    {"Main_View_AverageFewer", "Average One Fewer", "-", vk::kSubtract, nullptr},
}};

}  // namespace kv
