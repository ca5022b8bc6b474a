// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sweep_log.h"

namespace kv {

// One line of a sweep log read back: "date, time, Hz low, Hz high, Hz step, samples, dB, ...".
struct SweepLogLine {
    LineTime time;
    long long hzLow = 0;
    long long hzHigh = 0;
    double hzStep = 0;
    long long samples = 0;
    // A level that is not a number (nan, inf) takes its left neighbour's value, as the
    // readers of such logs do; one without a left neighbour stays NaN.
    std::vector<double> levelsDb;
};

// The line, without its newline (a trailing '\r' is allowed), into `line`; empty when it is a
// sweep line, else why not. Fields are split on ", " exactly, as the format's readers split.
std::string parseSweepLogLine(std::string_view text, SweepLogLine& line);

// Whether `next` carries on the sweep `sweep` began: another row of the same time whose band
// lies above it (a wide sweep split over rows). A logger that writes two sweeps in one second
// writes rows of the same band, which stay apart.
bool continuesSweep(const SweepLogLine& sweep, const SweepLogLine& next);
// `next`'s levels and upper band edge added to `sweep`.
void joinSweep(SweepLogLine& sweep, const SweepLogLine& next);

// The sweep's levels in at most `columns` columns, each the maximum of its bins (NaN only
// where every bin of it is NaN).
std::vector<double> foldLevels(const std::vector<double>& levelsDb, std::size_t columns);

// The time `seconds` after 1970-01-01 00:00:00 on the same wall clock: lineSeconds undone.
LineTime lineTimeAt(std::int64_t seconds);

}  // namespace kv
