// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "comm_control.h"
#include "event_loop.h"
#include "interval_combiner.h"
#include "link_report.h"
#include "radio_session.h"
#include "shared_state.h"
#include "sweep_log.h"
#include "timer.h"

namespace kv::power {

// Where the lines and the messages go.
class LoggerOutput {
  public:
    virtual ~LoggerOutput() = default;
    // Writes one line whole or nothing of it: empty when written, else what went wrong.
    virtual std::string writeLine(std::string_view line) = 0;
    // A message on standard error.
    virtual void message(std::string_view text) = 0;
    // The status line, rewritten in place; ignored where there is none.
    virtual void status(std::string_view text) = 0;
};

struct LoggerConfig {
    std::optional<double> intervalSeconds;  // none: one line per sweep
    IntervalCombiner::Mode combine = IntervalCombiner::Mode::Mean;
    bool once = false;
    // Lines to the output's file; off where they are only published.
    bool writeLines = true;
    // Each interval besides its line: when it began, its samples, its levels.
    std::function<void(std::chrono::system_clock::time_point, int, std::span<const double>)>
        publish;
    // The device's name for the messages, known once the port is chosen.
    std::function<std::string()> deviceName;
};

// The sweep without a window: the analyzer's radio session, one line per interval. The
// settings in `state` give the band and the point count; the levels are logged as measured.
class PowerLogger : public LinkReport {
  public:
    PowerLogger(SharedState& state, CommControl& comm, Timer& timer1, Timer& reopenTimer,
                EventLoop& loop, LoggerOutput& output, LoggerConfig config);
    ~PowerLogger() override;
    PowerLogger(const PowerLogger&) = delete;
    PowerLogger& operator=(const PowerLogger&) = delete;

    // Opens the port of the settings; false when it cannot be opened.
    [[nodiscard]] bool openPort();
    // Sweeps until stopped, then takes the radio out of command mode and closes the port. 0,
    // or 1 when lines could not be written (the sweep and the publishing went on meanwhile).
    int run();
    // Ctrl-C, SIGTERM, the end of -e: the exchange in progress is finished first; a radio
    // that does not answer is given up at once.
    void requestStop();

    void eraseCommFailure(std::string_view shown) override;
    void showCommFailure(std::string_view message) override;
    // One message for each failure episode.
    void troubleBegan(LinkTrouble trouble) override;
    void troubleEnded() override;

  private:
    using SteadyClock = std::chrono::steady_clock;
    // One pass over every point: the levels, and whether every point was measured.
    bool measureSweep(std::vector<double>& levels);
    void finishInterval(SteadyClock::time_point now, bool last);
    void writeCombined(std::chrono::system_clock::time_point begun, int samples,
                       const std::vector<double>& levels);
    void writeLine(const std::string& line);
    bool stopDue() const;
    void showStatus(bool force);

    SharedState& state_;
    CommControl& comm_;
    EventLoop& loop_;
    LoggerOutput& output_;
    LoggerConfig config_;
    RadioSession session_;
    IntervalCombiner combiner_;
    std::optional<std::chrono::system_clock::time_point> intervalBegun_;
    SteadyClock::time_point intervalEnd_;
    SteadyClock::time_point lastStatus_;
    std::optional<SteadyClock::time_point> lastSweepEnd_;
    long long sweepMs_ = 0;
    long long sweeps_ = 0;
    long long lines_ = 0;  // written, published or lost
    long long linesLost_ = 0;
    long long lostInEpisode_ = 0;  // since the last line that could be written
    long long recovered_ = 0;
    bool stopping_ = false;
};

}  // namespace kv::power
