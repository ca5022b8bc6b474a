// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "clock.h"
#include "comm_control.h"
#include "event_loop.h"
#include "interval_sink.h"
#include "link_report.h"
#include "logger_outputs.h"
#include "radio_session.h"
#include "shared_state.h"
#include "sweep_loop.h"
#include "timer.h"

namespace kv::power {

struct LoggerConfig {
    std::optional<double> intervalSeconds;  // none: one line per sweep
    IntervalCombiner::Mode combine = IntervalCombiner::Mode::Mean;
    bool once = false;
    // The device's name for the messages, known once the port is chosen.
    std::function<std::string()> deviceName;
    // Lines the outputs could not write; any makes the exit status 1.
    std::function<long long()> linesLost;
};

// The sweep without a window: the analyzer's radio session and point loop, each sweep (or
// interval, -i) handed to the outputs main registers. The settings in `state` give the band
// and the point count; the levels go out as measured.
class PowerLogger : public LinkReport {
  public:
    PowerLogger(SharedState& state, CommControl& comm, Timer& timer1, Timer& reopenTimer,
                EventLoop& loop, const Clock& clock, LoggerOutput& output, LoggerConfig config);
    ~PowerLogger() override;
    PowerLogger(const PowerLogger&) = delete;
    PowerLogger& operator=(const PowerLogger&) = delete;

    // Every sweep as measured, a failed point NaN.
    SweepSinks& sinks() { return sinks_; }
    // The intervals (or the complete sweeps): where the lines and messages are registered.
    SweepSinks& outputs() { return intervals_.outputs(); }

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
    // Between two exchanges: signals and the port's reopening.
    void betweenPoints();
    bool stopDue() const;
    void showStatus(bool force);

    SharedState& state_;
    CommControl& comm_;
    EventLoop& loop_;
    const Clock& clock_;
    LoggerOutput& output_;
    LoggerConfig config_;
    RadioSession session_;
    SweepSinks sinks_;
    IntervalSink intervals_;
    SweepLoop sweepLoop_;
    std::int64_t lastStatusMs_ = 0;
    long long sweeps_ = 0;
    long long recovered_ = 0;
    bool stopping_ = false;
};

}  // namespace kv::power
