// SPDX-License-Identifier: GPL-3.0-or-later
#include "sweep_log_reader.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace kv {

namespace {

constexpr std::string_view kSeparator = ", ";
constexpr int kFixedFields = 6;

template <typename Number>
bool parseWhole(std::string_view text, Number& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return !text.empty() && ec == std::errc{} && ptr == end;
}

// Exactly `digits` digits at `text[at]`.
bool parseDigits(std::string_view text, std::size_t at, std::size_t digits, int& value) {
    if (at + digits > text.size()) return false;
    value = 0;
    for (std::size_t i = at; i < at + digits; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

// "YYYY-MM-DD" and "HH:MM:SS" as the logger writes them, and a date that exists.
bool parseTime(std::string_view date, std::string_view time, LineTime& at) {
    if (date.size() != 10 || date[4] != '-' || date[7] != '-' || time.size() != 8 ||
        time[2] != ':' || time[5] != ':')
        return false;
    if (!parseDigits(date, 0, 4, at.year) || !parseDigits(date, 5, 2, at.month) ||
        !parseDigits(date, 8, 2, at.day) || !parseDigits(time, 0, 2, at.hour) ||
        !parseDigits(time, 3, 2, at.minute) || !parseDigits(time, 6, 2, at.second))
        return false;
    const std::chrono::year_month_day day{std::chrono::year(at.year),
                                          std::chrono::month(static_cast<unsigned>(at.month)),
                                          std::chrono::day(static_cast<unsigned>(at.day))};
    return day.ok() && at.hour < 24 && at.minute < 60 && at.second < 61;
}

constexpr std::array<double, 16> kPowersOfTen{1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// A level: the common "-87.25" at once (a whole number of at most 15 digits divided by a power
// of ten is the correctly rounded value, as from_chars gives it), anything else by from_chars.
bool parseLevel(std::string_view text, double& level) {
    std::size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    i += negative ? 1 : 0;
    long long whole = 0;
    int digits = 0;
    int decimals = -1;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            // Past 15 digits the quick way is not taken: no need to count further (or overflow).
            if (++digits <= 15) whole = whole * 10 + (c - '0');
            if (decimals >= 0) ++decimals;
        } else if (c == '.' && decimals < 0) {
            decimals = 0;
        } else {
            break;
        }
    }
    if (i == text.size() && digits > 0 && digits <= 15 && decimals != 0) {
        const double value = static_cast<double>(whole) /
                             kPowersOfTen[static_cast<std::size_t>(std::max(decimals, 0))];
        level = negative ? -value : value;
        return true;
    }
    if (text == "nan" || text == "-nan") {
        level = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, level);
    return !text.empty() && ec == std::errc{} && ptr == end;
}

}  // namespace

std::string parseSweepLogLine(std::string_view text, SweepLogLine& line) {
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    std::array<std::string_view, kFixedFields> fields;
    for (int f = 0; f < kFixedFields; ++f) {
        const std::size_t end = text.find(kSeparator);
        if (end == std::string_view::npos) return "fewer than 7 fields";
        fields[static_cast<std::size_t>(f)] = text.substr(0, end);
        text.remove_prefix(end + kSeparator.size());
    }
    if (!parseTime(fields[0], fields[1], line.time)) return "no date and time";
    if (!parseWhole(fields[2], line.hzLow) || !parseWhole(fields[3], line.hzHigh))
        return "Hz low or Hz high is no whole number";
    if (!parseLevel(fields[4], line.hzStep) || !(line.hzStep > 0) || !std::isfinite(line.hzStep))
        return "Hz step is no positive number";
    if (!parseWhole(fields[5], line.samples)) return "samples is no whole number";
    line.levelsDb.clear();
    double previous = std::numeric_limits<double>::quiet_NaN();
    while (true) {
        const std::size_t end = text.find(kSeparator);
        const std::string_view field = text.substr(0, end);
        double level = 0;
        if (!parseLevel(field, level)) return "level '" + std::string(field) + "' is no number";
        if (!std::isfinite(level)) level = previous;
        line.levelsDb.push_back(level);
        previous = level;
        if (end == std::string_view::npos) return {};
        text.remove_prefix(end + kSeparator.size());
    }
}

bool continuesSweep(const SweepLogLine& sweep, const SweepLogLine& next) {
    const auto& a = sweep.time;
    const auto& b = next.time;
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
           a.minute == b.minute && a.second == b.second && next.hzLow >= sweep.hzHigh - 1;
}

void joinSweep(SweepLogLine& sweep, const SweepLogLine& next) {
    sweep.levelsDb.insert(sweep.levelsDb.end(), next.levelsDb.begin(), next.levelsDb.end());
    sweep.hzHigh = next.hzHigh;
    sweep.samples = std::max(sweep.samples, next.samples);
}

std::vector<double> foldLevels(const std::vector<double>& levelsDb, std::size_t columns) {
    const std::size_t bins = levelsDb.size();
    if (bins <= columns) return levelsDb;
    std::vector<double> folded(columns, std::numeric_limits<double>::quiet_NaN());
    for (std::size_t bin = 0; bin < bins; ++bin) {
        double& column = folded[bin * columns / bins];
        const double level = levelsDb[bin];
        if (std::isnan(column) || level > column) column = level;
    }
    return folded;
}

LineTime lineTimeAt(std::int64_t seconds) {
    constexpr std::int64_t kDay = 86400;
    const std::int64_t days = seconds >= 0 ? seconds / kDay : (seconds - kDay + 1) / kDay;
    const std::int64_t inDay = seconds - days * kDay;
    const std::chrono::year_month_day date{
        std::chrono::sys_days(std::chrono::days(static_cast<int>(days)))};
    return {static_cast<int>(date.year()),
            static_cast<int>(static_cast<unsigned>(date.month())),
            static_cast<int>(static_cast<unsigned>(date.day())),
            static_cast<int>(inDay / 3600),
            static_cast<int>(inDay / 60 % 60),
            static_cast<int>(inDay % 60)};
}

}  // namespace kv
