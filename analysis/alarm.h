// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "limit.h"
#include "sweep_sink.h"

namespace kv {

inline constexpr int kDefaultAlarmHold = 3;
inline constexpr double kDefaultAlarmClearDb = 3.0;

// When an alarm starts and ends: raised after `hold` sweeps in a row with a point above the
// limit, cleared after `hold` sweeps in a row with every point at least `clearDb` below it. A
// sweep between the two (a point less than `clearDb` below) breaks both runs, so a carrier
// fluttering about the limit by less than the margin neither ends an episode nor starts a new
// one.
class AlarmRule {
  public:
    enum class Change { None, Raised, Cleared };
    AlarmRule(int hold, double clearDb) : hold_(hold), clearDb_(clearDb) {}

    Change add(const LimitCheck& check);
    // No alarm, no run (a new limit).
    void restart() { *this = AlarmRule(hold_, clearDb_); }
    bool active() const { return active_; }
    // Sweeps in the run toward the next change (or the change just made), the one just added
    // included.
    int run() const { return run_; }

  private:
    int hold_;
    double clearDb_;
    bool active_ = false;
    bool changed_ = false;
    int run_ = 0;
};

// Per point, the share of sweeps above the limit.
class Occupancy {
  public:
    void add(const LimitCheck& check, std::size_t points);
    void clear();
    // 0..1 per point; empty before the first sweep.
    std::vector<double> shares() const;

  private:
    std::vector<int> counts_;
    int sweeps_ = 0;
};

// An alarm as it changed: the episode's worst point, the points above in the sweep that raised
// it, the occupancy at the change.
struct AlarmEvent {
    bool active = false;
    std::chrono::system_clock::time_point since;  // the first sweep of the run that changed it
    double peakHz = 0;
    double peakDb = 0;
    double excessDb = 0;
    std::vector<int> points;
    std::vector<double> occupancy;
};

// "alarm: 2 points above the limit since 2024-05-01T12:34:56.789Z, worst +12.0 dB
// (-48.0 dB at 915.000 MHz)" or "alarm cleared since ...", numbers in one form everywhere.
std::string alarmText(const AlarmEvent& event);

// The limit check as an output of the sweeps: the alarm's episodes and the occupancy. A sweep
// of another band starts the occupancy again; a sweep with a failed point is left out.
class AlarmSink : public SweepSink {
  public:
    using Changed = std::function<void(const AlarmEvent&)>;
    // Without a limit it checks nothing until one is set.
    AlarmSink(std::optional<Limit> limit, int hold, double clearDb, Changed changed);

    // A new limit, or none: no alarm, the occupancy from the start.
    void setLimit(std::optional<Limit> limit);
    bool active() const { return rule_.active(); }
    const Occupancy& occupancy() const { return occupancy_; }
    // The occupancy starts again (the logger's intervals).
    void clearOccupancy() { occupancy_.clear(); }
    // The alarm as it stands, for a last message (active false at a clean stop).
    AlarmEvent current(bool active) const;

    void sweepEnded(const Sweep& sweep) override;
    void settingsApplied(const SettingValues& settings, bool newBand) override;

  private:
    std::optional<Limit> limit_;
    AlarmRule rule_;
    Changed changed_;
    Occupancy occupancy_;
    // The worst point since the run of sweeps above began, through the episode.
    std::optional<AlarmEvent> worst_;
    std::chrono::system_clock::time_point runBegan_;
};

}  // namespace kv
