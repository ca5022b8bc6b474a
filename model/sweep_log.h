// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "setting_values.h"

namespace kv {

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

// A file name that tells when it was made: "STEM-YYYY-MM-DD-HHMMSS.SUFFIX".
std::string timedFileName(std::string_view stem, const LineTime& made, std::string_view suffix);

// The local date and time now.
LineTime localLineTime();

}  // namespace kv
