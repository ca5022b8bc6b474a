// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "comm_control.h"
#include "event_loop.h"
#include "link_report.h"
#include "shared_state.h"
#include "timer.h"

namespace kv {

// The message row's text while the radio's device is gone (unplugged): the advice for a radio
// that does not answer would send the user looking in the wrong place.
std::string deviceGoneMessage(std::string_view device);

// The serial exchanges with the KV3710: command mode, the reply waits with their time-out and
// stop handling, the communication-failure message and the per-point measurement.
class Radio {
  public:
    // Installs its handlers for the port's receive event and Timer1's tick. The reply waits
    // yield at the latest `unansweredLimit` after the last yield.
    Radio(SharedState& state, CommControl& comm, Timer& timer1, EventLoop& loop, LinkReport& report,
          std::chrono::milliseconds unansweredLimit = kUnansweredLimit);
    ~Radio();
    Radio(const Radio&) = delete;
    Radio& operator=(const Radio&) = delete;

    // true when the radio confirmed both steps; false on a time-out or a stop.
    [[nodiscard]] bool enterCommandMode();
    [[nodiscard]] bool exitCommandMode();
    // At close: leaves command mode; a radio that did not confirm is logged, as nothing
    // follows that could retry.
    void exitCommandModeAtClose();
    // Erases the communication-failure message and, unless eraseOnly, shows it anew.
    void reportCommFailure(bool eraseOnly);
    // The level in dB read for the point; nothing when the exchange failed (the radio is then
    // back in command mode) or a stop was requested. Leaves the trace to the caller, which
    // knows where the level is plotted.
    [[nodiscard]] std::optional<double> measurePoint(int point);

    // The port's receive event: appends what arrived to the receive buffer.
    void onComm();
    // Timer1's tick: the reply wait in progress has timed out.
    void onTimer1Tick();

    // What the radio sent since the exchange in progress began.
    const std::string& receiveBuffer() const { return receiveBuffer_; }

    static constexpr int kReplyTimeoutMs = 2000;
    // The polls of a reply wait do not yield until this long after the last yield, which
    // bounds the time in which the window does not answer in time rather than in a number of
    // polls that blocking reads would stretch; from then on a poll yields.
    static constexpr std::chrono::milliseconds kUnansweredLimit{10};
    // Without a window, only the reply time-out, the port's reopening, a timed end and a
    // termination signal (which ends a wait on the port at once) need the event loop.
    static constexpr std::chrono::milliseconds kHeadlessUnansweredLimit{100};
    // How long a new exchange waits at least for the rest of a reply cut short; at most as
    // long as that reply's own wait had left, up to the reply time-out.
    static constexpr std::chrono::milliseconds kCutShortReplyLimit{50};

  private:
    void armReplyTimer();
    void takeCutShortReply();
    // One failed poll of a wait that does not read the port (the command-mode waits);
    // false when a stop was requested.
    bool pollWithoutReading();
    // One failed poll of a wait that reads the port itself (the measurement waits).
    bool pollReadingPort();
    bool yieldInWait();
    // Around a measurement's reply wait: how long the reply took, for the next waits.
    void replyWaitBegins();
    void replyWaitEnded();
    std::optional<double> measurementFailed();
    // A complete reply ends a time-out episode.
    void replied();

    SharedState& state_;
    CommControl& comm_;
    Timer& timer1_;
    EventLoop& loop_;
    LinkReport& report_;
    const std::chrono::milliseconds unansweredLimit_;
    std::string receiveBuffer_;
    std::string lastCommand_;
    // The reply size a wait is waiting for; still set after a stop ended it.
    std::size_t awaitedReply_ = 0;
    bool timeoutLogged_ = false;
    // The waits' yields so far, and how long the last reply took that came without one.
    long long yields_ = 0;
    long long yieldsAtWaitStart_ = 0;
    std::chrono::milliseconds replyWaitStart_{0};
    std::chrono::milliseconds lastReplyTime_{0};
};

}  // namespace kv
