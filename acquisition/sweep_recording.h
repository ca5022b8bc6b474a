// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <span>
#include <string>

#include "line_file.h"
#include "setting_values.h"
#include "sweep_log.h"
#include "sweep_sink.h"

namespace kv {

// File -> Record Sweeps: one sweep-log line per sweep, as kv3710-power writes them, appended
// to a file. A sweep in which a point failed is left out, as the logger leaves it out.
class SweepRecording : public SweepSink {
  public:
    // `stopped` hears why a recording stopped by itself (a write failed).
    explicit SweepRecording(std::function<void(const std::string& why)> stopped = nullptr)
        : stopped_(std::move(stopped)) {}

    // Starts appending to `path`; false with error() set when it cannot be opened.
    bool start(const std::string& path);
    // Ends it; every line written is whole.
    void stop();
    bool active() const { return file_.isOpen(); }
    const std::string& path() const { return path_; }
    // Appends the sweep's line; false when it could not be written, which stops the recording
    // with error() set.
    bool add(const SettingValues& band, const LineTime& begun, std::span<const double> levelsDb);
    // Why it could not start or went on no longer, with the file's name.
    const std::string& error() const { return error_; }

    void sweepEnded(const Sweep& sweep) override;

  private:
    std::function<void(const std::string&)> stopped_;
    LineFile file_;
    std::string path_;
    std::string error_;
};

}  // namespace kv
