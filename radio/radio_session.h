// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <optional>

#include "comm_control.h"
#include "event_loop.h"
#include "link_report.h"
#include "radio.h"
#include "shared_state.h"
#include "timer.h"

namespace kv {

// The life of one connection to the radio, as the window and the logger both have it: the port
// opened with the radio's line settings, command mode entered with retries, each point measured
// with one retry, the port reopened after an unplug, and the orderly end. Failure episodes go to
// the report: the first failure after the radio last answered in full begins one, the next
// point measured ends it.
class RadioSession : private LinkReport {
  public:
    // A device that vanished is looked for again this often.
    static constexpr int kReopenPeriodMs = 1000;

    // Installs its handlers for the port's receive event and the two timers' ticks; the reply
    // waits yield at the latest `unansweredLimit` after the last yield.
    RadioSession(SharedState& state, CommControl& comm, Timer& replyTimer, Timer& reopenTimer,
                 EventLoop& loop, LinkReport& report,
                 std::chrono::milliseconds unansweredLimit = Radio::kUnansweredLimit);
    ~RadioSession() override;
    RadioSession(const RadioSession&) = delete;
    RadioSession& operator=(const RadioSession&) = delete;

    // Selects the 0-based port, applies rate,parity,8,1 from the settings (a stored rate index
    // becomes its rate in Baud, Data and Stop become 8 and 1), opens it unless it is open, and
    // then turns flow control off and RTS low. false at the first step that fails, which leaves
    // the port as it left it.
    [[nodiscard]] bool openPort(int port);
    // Command mode for a sweep run: a failed attempt is followed at once by a second; while
    // that fails too the message is shown and the radio taken out of command mode (in case an
    // earlier run left it there) before the next. false when a stop was requested first.
    [[nodiscard]] bool enterCommandMode();
    // The point's level; a failed measurement (after which the radio is back in command mode)
    // is taken once more unless a stop was requested. Nothing when both failed or on a stop.
    [[nodiscard]] std::optional<double> measure(int point);
    // Before the port is changed under a sweep run: the radio, in command mode for it, is
    // taken out of it on the old port, which the next run's entry then does not need.
    void releaseBeforePortChange();
    // The orderly end: the radio taken out of command mode while the port is open, the stop
    // requested and one yield for the waits to see it, then `beforeClosing` (the window saves
    // its settings there), flow control off, RTS low and the port closed. No more reopening.
    void close(const std::function<void()>& beforeClosing = {});

    // A failure episode is going on.
    bool inTrouble() const { return inTrouble_; }
    Radio& radio() { return radio_; }
    CommControl& comm() { return comm_; }

  private:
    void eraseCommFailure(std::string_view shown) override;
    void showCommFailure(std::string_view message) override;
    // The reopen timer's tick: a port whose device vanished under a sweep is opened again; the
    // sweep stays in its recovery meanwhile and goes on by itself when the radio answers.
    void reopenLostPort();

    SharedState& state_;
    CommControl& comm_;
    Timer& reopenTimer_;
    EventLoop& loop_;
    LinkReport& report_;
    Radio radio_;
    bool inTrouble_ = false;
    bool closed_ = false;
};

}  // namespace kv
