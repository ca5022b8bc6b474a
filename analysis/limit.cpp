// SPDX-License-Identifier: GPL-3.0-or-later
#include "limit.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

#include "number_text.h"
#include "parse_number.h"
#include "spectrum_model.h"

namespace kv {

namespace {

constexpr double kMaxMaskMhz = 1e6;
constexpr double kMaxMaskDb = 1000;

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// The shortest text that reads back as the same value.
std::string numberText(double value) {
    std::array<char, 32> text{};
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value);
    return {text.data(), result.ptr};
}

}  // namespace

double Limit::at(double mhz) const {
    const auto next = std::upper_bound(corners_.begin(), corners_.end(), mhz,
                                       [](double f, const LimitCorner& c) { return f < c.mhz; });
    if (next == corners_.begin()) return next->db;
    if (next == corners_.end()) return corners_.back().db;
    const LimitCorner& before = *(next - 1);
    const double db =
        before.db + (next->db - before.db) * (mhz - before.mhz) / (next->mhz - before.mhz);
    // Rounding keeps no line beyond its ends.
    return std::clamp(db, std::min(before.db, next->db), std::max(before.db, next->db));
}

MaskLoad parseMask(std::string_view text) {
    if (text.size() > kMaxMaskBytes)
        return {{}, "larger than " + std::to_string(kMaxMaskBytes / 1024) + " KiB"};
    MaskLoad load;
    const auto refuse = [&](int line, const std::string& why) {
        return MaskLoad{{}, "line " + std::to_string(line) + ": " + why};
    };
    int lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const auto end = text.find('\n');
        const std::string_view line = trimmed(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.empty() || line.front() == '#') continue;
        const auto comma = line.find(',');
        if (comma == std::string_view::npos) return refuse(lineNumber, "not \"MHz, dB\"");
        const auto mhz = parseNumber<double>(trimmed(line.substr(0, comma)));
        const auto db = parseNumber<double>(trimmed(line.substr(comma + 1)));
        if (!mhz || *mhz < 0 || *mhz > kMaxMaskMhz)
            return refuse(lineNumber, "the frequency is not a number of MHz (0 to 1000000)");
        if (!db || std::abs(*db) > kMaxMaskDb)
            return refuse(lineNumber, "the level is not a number of dB (-1000 to 1000)");
        if (!load.corners.empty() && *mhz < load.corners.back().mhz) {
            return refuse(lineNumber, "the frequency falls (" + numberText(*mhz) + " after " +
                                          numberText(load.corners.back().mhz) + " MHz)");
        }
        if (load.corners.size() == kMaxMaskCorners)
            return refuse(lineNumber, "more than " + std::to_string(kMaxMaskCorners) + " corners");
        load.corners.push_back({*mhz, *db});
    }
    if (load.corners.empty()) return {{}, "no corner (lines of \"MHz, dB\")"};
    return load;
}

std::string formatMask(std::span<const LimitCorner> corners) {
    std::string text;
    for (const LimitCorner& corner : corners)
        text += numberText(corner.mhz) + ", " + numberText(corner.db) + '\n';
    return text;
}

LimitCheck checkSweep(const Limit& limit, const SettingValues& band,
                      std::span<const double> levelsDb) {
    LimitCheck check;
    for (std::size_t i = 0; i < levelsDb.size(); ++i) {
        if (std::isnan(levelsDb[i])) continue;
        const int point = static_cast<int>(i);
        const double excess = levelsDb[i] - limit.at(pointFrequency(band, point));
        if (excess > 0) check.above.push_back(point);
        if (check.worstPoint < 0 || excess > check.worstExcessDb) {
            check.worstPoint = point;
            check.worstExcessDb = excess;
            check.worstLevelDb = levelsDb[i];
        }
    }
    return check;
}

std::string checkText(const LimitCheck& check, const SettingValues& band) {
    if (!check.fails()) return "PASS";
    return "FAIL " + std::to_string(check.above.size()) + " point" +
           (check.above.size() == 1 ? "" : "s") + ", worst +" + fixedText(check.worstExcessDb, 1) +
           " dB at " + fixedText(pointFrequency(band, check.worstPoint), 3) + " MHz";
}

}  // namespace kv
