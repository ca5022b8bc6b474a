// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kv::sim {

// One line of a sweep log: bin i lies at lowHz + i * stepHz, the row ends at highHz (the upper
// edge of the last bin), one level per bin.
struct ReplayRow {
    double lowHz = 0;
    double highHz = 0;
    double stepHz = 0;
    std::vector<double> levelsDb;
};

struct ReplayLoad {
    std::vector<ReplayRow> rows;
    std::string error;  // set when rows is empty
};

// The pieces of `text` between the separators (one piece for a text without any).
std::vector<std::string_view> split(std::string_view text, std::string_view separator);

// Parses the "date, time, Hz low, Hz high, Hz step, samples, dB, dB, ..." lines, rows of one
// sweep (the same time, the band going on upwards) joined into one. Blank lines
// are skipped; a level that is not a number takes its left neighbour's value, as the readers
// of such logs do.
ReplayLoad parseReplay(std::string_view text);
ReplayLoad loadReplay(const std::string& path);

// The level of `channel` when a sweep of `channelCount` channels covers the row's band (the
// channels spaced as the analyzer spaces its points, none on a band edge): the bin nearest
// to the channel's frequency. A count of 0 takes the row's own bins one to one.
double replayLevel(const ReplayRow& row, int channel, int channelCount);

}  // namespace kv::sim
