// SPDX-License-Identifier: GPL-3.0-or-later
#include "sweep_recording.h"

#include <algorithm>
#include <cmath>

#include "log_categories.h"

namespace kv {

bool SweepRecording::start(const std::string& path) {
    path_ = path;
    error_.clear();
    if (file_.open(path)) return true;
    error_ = "Cannot record to " + path + ": " + file_.error();
    qCWarning(lcFiles, "%s", error_.c_str());
    return false;
}

void SweepRecording::stop() {
    file_.close();
}

bool SweepRecording::add(const SettingValues& band, const LineTime& begun,
                         std::span<const double> levelsDb) {
    if (!active()) return false;
    if (std::ranges::any_of(levelsDb, [](double level) { return std::isnan(level); })) return true;
    if (file_.append(formatSweepLine(band, begun, 1, levelsDb))) return true;
    error_ = "Recording stopped: cannot write " + path_ + ": " + file_.error();
    qCWarning(lcFiles, "%s", error_.c_str());
    stop();
    return false;
}

}  // namespace kv
