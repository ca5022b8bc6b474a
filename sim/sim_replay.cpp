// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim_replay.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>

#include "sim_levels.h"

namespace kv::sim {

namespace {

constexpr std::string_view kSeparator = ", ";
constexpr std::size_t kFirstLevelField = 6;

template <typename Number>
bool parse(std::string_view text, Number& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return !text.empty() && ec == std::errc{} && ptr == end;
}

// One line, or an error text.
std::string parseRow(std::string_view line, ReplayRow& row) {
    const auto parts = split(line, kSeparator);
    if (parts.size() <= kFirstLevelField) return "fewer than 7 fields";
    long long low = 0;
    long long high = 0;
    long long samples = 0;
    if (!parse(parts[2], low) || !parse(parts[3], high))
        return "Hz low or Hz high is no whole number";
    if (!parse(parts[4], row.stepHz) || !(row.stepHz > 0)) return "Hz step is no positive number";
    if (!parse(parts[5], samples)) return "samples is no whole number";
    row.lowHz = static_cast<double>(low);
    row.highHz = static_cast<double>(high);
    double previous = kMinLevelDb;
    for (std::size_t i = kFirstLevelField; i < parts.size(); ++i) {
        double level = 0;
        if (!parse(parts[i], level) && parts[i] != "nan" && parts[i] != "-nan") {
            return "level '" + std::string(parts[i]) + "' is no number";
        }
        if (!std::isfinite(level)) level = previous;
        row.levelsDb.push_back(level);
        previous = level;
    }
    return {};
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
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        ReplayRow row;
        if (std::string error = parseRow(line, row); !error.empty()) {
            return {{}, "line " + std::to_string(lineNumber) + ": " + error};
        }
        load.rows.push_back(std::move(row));
    }
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
