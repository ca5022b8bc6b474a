// SPDX-License-Identifier: GPL-3.0-or-later
#include "sweep_log.h"

#include <ctime>

#include "number_text.h"
#include "rounding.h"
#include "spectrum_model.h"

namespace kv {

namespace {

constexpr double kHzPerMHz = 1e6;

void appendWhole(std::string& line, long long value) {
    line += std::to_string(value);
}

// After `before`, unless that is '\0'.
void appendTwoDigits(std::string& line, int value, char before) {
    if (before != '\0') line += before;
    line += static_cast<char>('0' + value / 10 % 10);
    line += static_cast<char>('0' + value % 10);
}

}  // namespace

LogBand logBand(const SettingValues& band) {
    const double firstHz = pointFrequency(band, 0) * kHzPerMHz;
    // The upper edge of the last point is where a point after it would lie.
    const double edgeHz = pointFrequency(band, band.numberOfPoints) * kHzPerMHz;
    // A band far out of range (only a centre of more than some 9e12 MHz) gives the limits.
    return {roundToInteger<long long>(firstHz), roundToInteger<long long>(edgeHz),
            (pointFrequency(band, 1) - pointFrequency(band, 0)) * kHzPerMHz};
}

void appendLogDecimal(std::string& text, double value) {
    text += fixedText(value, 2);
}

std::string formatSweepLine(const SettingValues& band, const LineTime& begun, int samples,
                            std::span<const double> levelsDb) {
    const LogBand hz = logBand(band);
    std::string line;
    line.reserve(48 + levelsDb.size() * 9);
    appendWhole(line, begun.year);
    appendTwoDigits(line, begun.month, '-');
    appendTwoDigits(line, begun.day, '-');
    line += ',';
    appendTwoDigits(line, begun.hour, ' ');
    appendTwoDigits(line, begun.minute, ':');
    appendTwoDigits(line, begun.second, ':');
    line += ", ";
    appendWhole(line, hz.hzLow);
    line += ", ";
    appendWhole(line, hz.hzHigh);
    line += ", ";
    appendLogDecimal(line, hz.hzStep);
    line += ", ";
    appendWhole(line, samples);
    for (double level : levelsDb) {
        line += ", ";
        appendLogDecimal(line, level);
    }
    line += '\n';
    return line;
}

std::string timedFileName(std::string_view stem, const LineTime& made, std::string_view suffix) {
    std::string name(stem);
    name += '-';
    appendWhole(name, made.year);
    appendTwoDigits(name, made.month, '-');
    appendTwoDigits(name, made.day, '-');
    appendTwoDigits(name, made.hour, '-');
    appendTwoDigits(name, made.minute, '\0');
    appendTwoDigits(name, made.second, '\0');
    name += '.';
    name += suffix;
    return name;
}

std::int64_t lineSeconds(const LineTime& time) {
    const std::chrono::year_month_day day{std::chrono::year(time.year),
                                          std::chrono::month(static_cast<unsigned>(time.month)),
                                          std::chrono::day(static_cast<unsigned>(time.day))};
    const std::int64_t days = std::chrono::sys_days(day).time_since_epoch().count();
    return days * 86400 + time.hour * 3600 + time.minute * 60 + time.second;
}

LineTime localLineTime(std::chrono::system_clock::time_point when) {
    const std::time_t seconds =
        std::chrono::system_clock::to_time_t(std::chrono::floor<std::chrono::seconds>(when));
    std::tm local{};
    localtime_r(&seconds, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour,        local.tm_min,     local.tm_sec};
}

std::string utcIsoTime(std::chrono::system_clock::time_point when) {
    // Floored, not rounded: 23:59:59.9996 stays on its day.
    const auto millis = std::chrono::floor<std::chrono::milliseconds>(when);
    const auto whole = std::chrono::floor<std::chrono::seconds>(millis);
    const std::time_t seconds = std::chrono::system_clock::to_time_t(whole);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    const auto fraction = static_cast<int>((millis - whole).count());
    std::string text;
    appendWhole(text, utc.tm_year + 1900);
    appendTwoDigits(text, utc.tm_mon + 1, '-');
    appendTwoDigits(text, utc.tm_mday, '-');
    appendTwoDigits(text, utc.tm_hour, 'T');
    appendTwoDigits(text, utc.tm_min, ':');
    appendTwoDigits(text, utc.tm_sec, ':');
    text += '.';
    text += static_cast<char>('0' + fraction / 100);
    text += static_cast<char>('0' + fraction / 10 % 10);
    text += static_cast<char>('0' + fraction % 10);
    text += 'Z';
    return text;
}

}  // namespace kv
