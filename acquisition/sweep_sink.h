// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "setting_values.h"

namespace kv {

// One sweep as it ended, wherever it came from (the radio on the port, a file, a remote
// radio): when it began, the band (the centre, span and point count that place its points;
// logBand gives its first frequency and step), how many sweeps it stands for, and each point's
// level as measured, NaN where the point failed.
struct Sweep {
    std::chrono::system_clock::time_point began;
    // When it began and ended, on the steady clock of the program that took it in (ms).
    std::int64_t beganMs = 0;
    std::int64_t endedMs = 0;
    SettingValues band;
    int samples = 1;
    std::span<const double> levelsDb;
    // A recorded sweep shown again while a recording is browsed: it goes into the trace as it
    // is (no average), never to the sinks, and leaves the sweep time alone.
    bool past = false;
    // Sweeps known to be lost just before this one (a gap in a remote radio's numbering).
    std::uint64_t missed = 0;

    // Every point was measured; a sweep with a failed point is left out of logs and intervals.
    bool complete() const {
        return std::ranges::none_of(levelsDb, [](double level) { return std::isnan(level); });
    }
};

// Whatever follows the sweeps: the strip, the recording, the logger's lines, MQTT, an alarm.
class SweepSink {
  public:
    virtual ~SweepSink() = default;
    virtual void sweepEnded(const Sweep& sweep) = 0;
    // New settings took effect; with `newBand` (another centre, span or point count) the
    // sweeps before are of another band.
    virtual void settingsApplied(const SettingValues& settings, bool newBand) {
        static_cast<void>(settings);
        static_cast<void>(newBand);
    }
    // No sweep follows: what is held back (an unfinished interval) goes out now.
    virtual void finished() {}
};

// The sinks a program registers where it is put together, each told of every sweep in the
// order they were added.
class SweepSinks : public SweepSink {
  public:
    void add(SweepSink& sink) { sinks_.push_back(&sink); }
    void remove(SweepSink& sink) { std::erase(sinks_, &sink); }
    bool empty() const { return sinks_.empty(); }

    void sweepEnded(const Sweep& sweep) override {
        for (SweepSink* sink : sinks_) sink->sweepEnded(sweep);
    }
    void settingsApplied(const SettingValues& settings, bool newBand) override {
        for (SweepSink* sink : sinks_) sink->settingsApplied(settings, newBand);
    }
    void finished() override {
        for (SweepSink* sink : sinks_) sink->finished();
    }

  private:
    std::vector<SweepSink*> sinks_;
};

}  // namespace kv
