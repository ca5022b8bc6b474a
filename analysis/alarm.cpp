// SPDX-License-Identifier: GPL-3.0-or-later
#include "alarm.h"

#include "number_text.h"
#include "spectrum_model.h"
#include "sweep_log.h"

namespace kv {

AlarmRule::Change AlarmRule::add(const LimitCheck& check) {
    if (changed_) run_ = 0;
    changed_ = false;
    const bool towardChange =
        active_ ? check.worstPoint < 0 || check.worstExcessDb <= -clearDb_ : check.fails();
    run_ = towardChange ? run_ + 1 : 0;
    if (run_ < hold_) return Change::None;
    active_ = !active_;
    changed_ = true;
    return active_ ? Change::Raised : Change::Cleared;
}

void Occupancy::add(const LimitCheck& check, std::size_t points) {
    if (counts_.size() != points) clear();
    counts_.resize(points);
    for (int point : check.above) ++counts_[static_cast<std::size_t>(point)];
    ++sweeps_;
}

void Occupancy::clear() {
    counts_.clear();
    sweeps_ = 0;
}

std::vector<double> Occupancy::shares() const {
    std::vector<double> shares;
    shares.reserve(counts_.size());
    for (int count : counts_) shares.push_back(static_cast<double>(count) / sweeps_);
    return shares;
}

std::string alarmText(const AlarmEvent& event) {
    const std::string since = " since " + utcIsoTime(event.since);
    if (!event.active) return "alarm cleared" + since;
    return "alarm: " + std::to_string(event.points.size()) + " point" +
           (event.points.size() == 1 ? "" : "s") + " above the limit" + since + ", worst +" +
           fixedText(event.excessDb, 1) + " dB (" + fixedText(event.peakDb, 1) + " dB at " +
           fixedText(event.peakHz / 1e6, 3) + " MHz)";
}

AlarmSink::AlarmSink(std::optional<Limit> limit, int hold, double clearDb, Changed changed)
    : limit_(std::move(limit)), rule_(hold, clearDb), changed_(std::move(changed)) {}

void AlarmSink::setLimit(std::optional<Limit> limit) {
    limit_ = std::move(limit);
    occupancy_.clear();
    rule_.restart();
    worst_.reset();
}

AlarmEvent AlarmSink::current(bool active) const {
    AlarmEvent event = worst_.value_or(AlarmEvent{});
    event.active = active;
    event.since = std::chrono::system_clock::now();
    event.occupancy = occupancy_.shares();
    if (!active) event.points.clear();
    return event;
}

void AlarmSink::sweepEnded(const Sweep& sweep) {
    if (!limit_ || !sweep.complete()) return;
    const LimitCheck check = checkSweep(*limit_, sweep.band, sweep.levelsDb);
    occupancy_.add(check, sweep.levelsDb.size());
    const bool wasActive = rule_.active();
    if (check.fails() && (!worst_ || check.worstExcessDb > worst_->excessDb)) {
        worst_ = AlarmEvent{.active = true,
                            .since = {},
                            .peakHz = pointFrequency(sweep.band, check.worstPoint) * 1e6,
                            .peakDb = check.worstLevelDb,
                            .excessDb = check.worstExcessDb,
                            .points = check.above,
                            .occupancy = {}};
    }
    const AlarmRule::Change change = rule_.add(check);
    if (rule_.run() == 1) runBegan_ = sweep.began;
    // Below the limit before an episode: the run toward one starts again.
    if (!wasActive && !check.fails()) worst_.reset();
    if (change == AlarmRule::Change::None) return;
    AlarmEvent event = worst_.value_or(AlarmEvent{});
    event.active = change == AlarmRule::Change::Raised;
    event.since = runBegan_;
    event.points = event.active ? check.above : std::vector<int>{};
    event.occupancy = occupancy_.shares();
    if (!event.active) worst_.reset();
    changed_(event);
}

void AlarmSink::settingsApplied(const SettingValues&, bool newBand) {
    if (newBand) occupancy_.clear();
}

}  // namespace kv
