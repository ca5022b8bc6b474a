// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
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

// The band as the log gives it: the frequency of the analyzer's first point and the upper
// edge of the last (Hz low + points x step) in whole Hz, and the distance between points.
struct LogBand {
    long long hzLow = 0;
    long long hzHigh = 0;
    double hzStep = 0;
};
LogBand logBand(const SettingValues& band);

// A step or a level as the log writes it: two decimals, with a point whatever the locale.
void appendLogDecimal(std::string& text, double value);

// One line of the sweep log, newline included:
// "YYYY-MM-DD, HH:MM:SS, Hz low, Hz high, Hz step, samples, dB, dB, ...", the band of
// `band` (centre, span, point count) as logBand gives it.
std::string formatSweepLine(const SettingValues& band, const LineTime& begun, int samples,
                            std::span<const double> levelsDb);

// A file name that tells when it was made: "STEM-YYYY-MM-DD-HHMMSS.SUFFIX".
std::string timedFileName(std::string_view stem, const LineTime& made, std::string_view suffix);

// Seconds from 1970-01-01 00:00:00 to the line's time, both read on the same wall clock:
// which of two times is later, and how far apart, without a time zone.
std::int64_t lineSeconds(const LineTime& time);

// The local date and time of `when`.
LineTime localLineTime(
    std::chrono::system_clock::time_point when = std::chrono::system_clock::now());

// `when` in UTC to the millisecond, ISO 8601: "2024-05-01T12:34:56.789Z".
std::string utcIsoTime(std::chrono::system_clock::time_point when);

}  // namespace kv
