// SPDX-License-Identifier: GPL-3.0-or-later
#include "sweep_recording.h"

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

void SweepRecording::sweepEnded(const Sweep& sweep) {
    if (!active() || !sweep.complete()) return;
    if (!add(sweep.band, localLineTime(sweep.began), sweep.levelsDb) && stopped_) stopped_(error_);
}

bool SweepRecording::add(const SettingValues& band, const LineTime& begun,
                         std::span<const double> levelsDb) {
    if (!active()) return false;
    if (file_.append(formatSweepLine(band, begun, 1, levelsDb))) return true;
    error_ = "Recording stopped: cannot write " + path_ + ": " + file_.error();
    qCWarning(lcFiles, "%s", error_.c_str());
    stop();
    return false;
}

}  // namespace kv
