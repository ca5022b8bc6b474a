// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim_replay.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <optional>
#include <sstream>

#include "sim_levels.h"
#include "sweep_log_reader.h"

namespace kv::sim {

namespace {

// A parsed line, or joined lines of one sweep, as a row: non-numbers with no left neighbour
// at the radio's floor.
ReplayRow rowOf(const SweepLogLine& line) {
    ReplayRow row{static_cast<double>(line.hzLow), static_cast<double>(line.hzHigh), line.hzStep,
                  line.levelsDb};
    for (double& level : row.levelsDb)
        if (std::isnan(level)) level = kMinLevelDb;
    return row;
}

}  // namespace

std::vector<std::string_view> split(std::string_view text, std::string_view separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string_view::npos) return parts;
        start = end + separator.size();
    }
}

ReplayLoad parseReplay(std::string_view text) {
    ReplayLoad load;
    int lineNumber = 0;
    std::optional<SweepLogLine> sweep;
    SweepLogLine line;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view lineText = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        ++lineNumber;
        if (!lineText.empty() && lineText.back() == '\r') lineText.remove_suffix(1);
        if (lineText.empty()) continue;
        if (std::string error = parseSweepLogLine(lineText, line); !error.empty()) {
            return {{}, "line " + std::to_string(lineNumber) + ": " + error};
        }
        if (sweep && continuesSweep(*sweep, line)) {
            joinSweep(*sweep, line);
            continue;
        }
        if (sweep) load.rows.push_back(rowOf(*sweep));
        sweep = line;
    }
    if (sweep) load.rows.push_back(rowOf(*sweep));
    if (load.rows.empty()) load.error = "no sweep lines";
    return load;
}

ReplayLoad loadReplay(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return {{}, "cannot read " + path};
    std::ostringstream text;
    text << file.rdbuf();
    ReplayLoad load = parseReplay(text.str());
    if (!load.error.empty()) load.error = path + ": " + load.error;
    return load;
}

double replayLevel(const ReplayRow& row, int channel, int channelCount) {
    const auto bins = static_cast<long long>(row.levelsDb.size());
    long long bin = channel;
    if (channelCount > 0) {
        // The band's lower edge lies one step below the first bin, its upper edge at highHz.
        const double lowerEdge = row.lowHz - row.stepHz;
        // In double: a channel or count at the top of int has no int one past it.
        const double frequency =
            lowerEdge + (channel + 1.0) * (row.highHz - lowerEdge) / (channelCount + 1.0);
        bin = std::llround((frequency - row.lowHz) / row.stepHz);
    }
    return row.levelsDb[static_cast<std::size_t>(std::clamp(bin, 0LL, bins - 1))];
}

}  // namespace kv::sim
