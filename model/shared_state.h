// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "setting_values.h"

namespace kv {

struct TracePoint {
    std::int32_t xLeft = 0;
    std::int32_t xRight = 0;
    std::int32_t xCenter = 0;
    std::int32_t yOut = 0;  // 0: not measured since the current sweep run started
    std::int32_t yIn = 0;
    double amplitudeDb = 0;
    bool operator==(const TracePoint&) const = default;
};

// The run-state flags through which the sweep, the waits, the timers and the keys meet.
struct RunFlags {
    bool stopRequested = false;
    bool replyTimedOut = false;
    bool layoutChanged = false;
    bool autoStarted = false;
    bool viewOnly = false;
    bool maxHold = false;
    bool operator==(const RunFlags&) const = default;
};

// Average (A): the trace shows the mean, in dB, of the newest `sweeps` sweeps; + and - change
// the count within the limits.
struct TraceAverage {
    static constexpr int kFewestSweeps = 2;
    static constexpr int kMostSweeps = 100;
    bool on = false;
    int sweeps = 10;
    bool operator==(const TraceAverage&) const = default;
};

struct MarkerState {
    std::array<std::int16_t, 2> marker{};  // trace-point index of marker 1 and marker 2
    bool markerDelta = false;
    std::array<std::int32_t, 2> glyphX{};  // where each marker symbol was last drawn
    std::array<std::int32_t, 2> glyphY{};
    int active() const { return markerDelta ? 1 : 0; }
    bool operator==(const MarkerState&) const = default;
};

struct LegendPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

// The readout rows printed by the display, in the order it prints them.
enum class ReadoutRow {
    SweepTime,
    MarkerLine1,
    MarkerLine2,
    CenterFrequency,
    Span,
    Amplitude,
    LimitCheck
};
inline constexpr std::size_t kReadoutRowCount = 7;

// Texts printed on the window. Each row keeps the text it shows apart from the text composed
// for it, so that erasing removes what is on the screen even when a text was composed twice
// before it was printed.
struct ReadoutTexts {
    std::string commMessage;
    std::string shownCommMessage;
    std::string sweepTimeText;
    std::string markerLine1;
    std::string markerLine2;
    // With a limit: PASS or FAIL of the trace shown, and an alarm in progress.
    std::string limitCheck;
    std::string alarm;
    std::array<std::string, kReadoutRowCount> shown;
    std::string& shownIn(ReadoutRow row) { return shown[static_cast<std::size_t>(row)]; }
};

// Everything the analyzer's procedures share, owned by the main window.
struct SharedState {
    SettingValues settings;
    std::vector<TracePoint> trace;
    // Per point, the heights (and their level) that Trace held before its latest measurement.
    std::vector<TracePoint> previousTrace;
    RunFlags flags;
    TraceAverage average;
    MarkerState markers;
    ReadoutTexts texts;
    // When the last two sweeps ended, on the steady clock (milliseconds); 0 before the first.
    std::int64_t lastSweepEnd = 0;
    std::int64_t previousSweepEnd = 0;
    // Entry 0: y of the separator; 1..9: top-left of the legend texts. Absent until laid out.
    std::optional<std::array<LegendPoint, 10>> legendPos;
};

}  // namespace kv
