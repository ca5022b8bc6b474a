// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>
#include <string>
#include <vector>

#include "setting_values.h"

namespace kv::power {

// Local date and time, as the line's first two fields show it.
struct LineTime {
    int year = 1970;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// One line of the sweep log, newline included:
// "YYYY-MM-DD, HH:MM:SS, Hz low, Hz high, Hz step, samples, dB, dB, ...". The frequencies
// are those of the analyzer's points for the band of `band` (centre, span, point count);
// Hz high is the upper edge of the last point, Hz low + points x step.
std::string formatSweepLine(const SettingValues& band, const LineTime& begun, int samples,
                            std::span<const double> levelsDb);

// Combines the complete sweeps of one interval point by point: the mean of their power,
// written in dB (-50 and -90 dB give -53 dB), or their maximum.
class IntervalCombiner {
  public:
    enum class Mode { Mean, Max };
    IntervalCombiner(std::size_t points, Mode mode);

    void add(std::span<const double> levelsDb);
    int samples() const { return samples_; }
    // The combined levels; empty before the first sweep.
    std::vector<double> levels() const;
    void clear();

  private:
    Mode mode_;
    std::vector<double> accumulated_;
    int samples_ = 0;
};

}  // namespace kv::power
