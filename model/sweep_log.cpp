// SPDX-License-Identifier: GPL-3.0-or-later
#include "sweep_log.h"

#include <ctime>

#include "number_text.h"
#include "rounding.h"
#include "spectrum_model.h"

namespace kv {

namespace {

constexpr double kHzPerMHz = 1e6;

void appendFixed(std::string& line, double value) {
    line += fixedText(value, 2);
}

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

std::string formatSweepLine(const SettingValues& band, const LineTime& begun, int samples,
                            std::span<const double> levelsDb) {
    const int points = band.numberOfPoints;
    const double firstHz = pointFrequency(band, 0) * kHzPerMHz;
    // The upper edge of the last point is where a point after it would lie.
    const double edgeHz = pointFrequency(band, points) * kHzPerMHz;
    const double stepHz = (pointFrequency(band, 1) - pointFrequency(band, 0)) * kHzPerMHz;
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
    // A band far out of range (only a centre of more than some 9e12 MHz) writes the limits.
    appendWhole(line, roundToInteger<long long>(firstHz));
    line += ", ";
    appendWhole(line, roundToInteger<long long>(edgeHz));
    line += ", ";
    appendFixed(line, stepHz);
    line += ", ";
    appendWhole(line, samples);
    for (double level : levelsDb) {
        line += ", ";
        appendFixed(line, level);
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

LineTime localLineTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour,        local.tm_min,     local.tm_sec};
}

}  // namespace kv
