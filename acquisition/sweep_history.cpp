// SPDX-License-Identifier: GPL-3.0-or-later
#include "sweep_history.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace kv {

SweepHistory::SweepHistory(std::size_t capacity) : capacity_(std::max<std::size_t>(capacity, 1)) {}

std::size_t SweepHistory::slot(std::size_t back) const {
    return (newest_ + capacity_ - back) % capacity_;
}

void SweepHistory::add(const LineTime& begun, std::span<const double> levelsDb) {
    if (levelsDb.size() != points_ || levels_.empty()) {
        points_ = levelsDb.size();
        // Allocated at the first sweep, so a window that never sweeps holds none of it.
        levels_.assign(capacity_ * points_, 0.0f);
        begun_.assign(capacity_, LineTime{});
        size_ = 0;
        newest_ = capacity_ - 1;
    }
    newest_ = (newest_ + 1) % capacity_;
    std::transform(levelsDb.begin(), levelsDb.end(), levels_.begin() + newest_ * points_,
                   [](double level) { return static_cast<float>(level); });
    begun_[newest_] = begun;
    size_ = std::min(size_ + 1, capacity_);
    ++added_;
}

void SweepHistory::replaceNewest(std::span<const double> levelsDb) {
    if (size_ == 0 || levelsDb.size() != points_) return;
    std::transform(levelsDb.begin(), levelsDb.end(), levels_.begin() + newest_ * points_,
                   [](double level) { return static_cast<float>(level); });
}

void SweepHistory::sweepEnded(const Sweep& sweep) {
    const LineTime begun = localLineTime(sweep.began);
    // Lost sweeps stand as one row without levels, so the strip shows the gap.
    if (sweep.missed > 0) add(begun, std::vector<double>(sweep.levelsDb.size(), std::nan("")));
    add(begun, sweep.levelsDb);
}

void SweepHistory::settingsApplied(const SettingValues&, bool newBand) {
    if (newBand) clear();
}

double SweepHistory::traceLevel(const TraceAverage& average, int point, double measuredDb) const {
    if (!average.on) return measuredDb;
    return meanWith(measuredDb, static_cast<std::size_t>(point), average.sweeps);
}

void SweepHistory::clear() {
    levels_.clear();  // the next sweep starts the ring afresh
    size_ = 0;
}

std::span<const float> SweepHistory::levels(std::size_t back) const {
    return {levels_.data() + slot(back) * points_, points_};
}

const LineTime& SweepHistory::begun(std::size_t back) const {
    return begun_[slot(back)];
}

double SweepHistory::meanWith(double newest, std::size_t point, int sweeps) const {
    double sum = 0;
    int count = 0;
    if (!std::isnan(newest)) sum = newest, count = 1;
    const std::size_t held =
        std::min<std::size_t>(size_, static_cast<std::size_t>(std::max(sweeps, 1) - 1));
    for (std::size_t back = 0; back < held && point < points_; ++back) {
        const float level = levels_[slot(back) * points_ + point];
        if (std::isnan(level)) continue;
        sum += level;
        ++count;
    }
    return count > 0 ? sum / count : newest;
}

}  // namespace kv
