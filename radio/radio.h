#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "comm_control.h"
#include "event_loop.h"
#include "shared_state.h"
#include "sweep_interfaces.h"
#include "timer.h"

namespace kv {

// The serial exchanges with the KV3710: command mode, the reply waits with their time-out and
// stop handling, the communication-failure message and the per-point measurement.
class Radio : public RadioLink {
  public:
    // Installs its handlers for the port's receive event and Timer1's tick.
    Radio(SharedState& state, CommControl& comm, Timer& timer1, EventLoop& loop,
          CommFailureReport& report);
    ~Radio() override;
    Radio(const Radio&) = delete;
    Radio& operator=(const Radio&) = delete;

    [[nodiscard]] bool enterCommandMode() override;
    bool exitCommandMode() override;
    void reportCommFailure(bool eraseOnly) override;
    // Leaves the trace to the caller, which knows where the level is plotted.
    [[nodiscard]] std::optional<double> measurePoint(int point) override;

    // The port's receive event: appends what arrived to the receive buffer.
    void onComm();
    // Timer1's tick: the reply wait in progress has timed out.
    void onTimer1Tick();

    static constexpr int kReplyTimeoutMs = 2000;
    // Polls from this one on yield to the event loop, one yield each.
    static constexpr int kFirstYieldingPoll = 10000;

  private:
    // The poll counter of a reply wait; the command-mode procedures share one between
    // their two waits.
    class PollCounter {
      public:
        // Counts a poll whose check failed.
        void count() { ++polls_; }
        bool belowYielding() const { return polls_ < kFirstYieldingPoll; }
        // Skips the rest of the polls that do not yield.
        void skipToYielding() {
            if (polls_ < kFirstYieldingPoll) polls_ = kFirstYieldingPoll;
        }

      private:
        int polls_ = 0;
    };

    // Realises the non-yielding polls of a wait that reads the port as blocking waits on the
    // port, so that a prompt reply is taken without a trip through the event loop.
    class PortWaitBudget {
      public:
        bool waitForInput(CommControl& comm);

      private:
        static constexpr std::chrono::milliseconds kBudget{20};
        bool started_ = false;
        std::chrono::steady_clock::time_point deadline_;
    };

    void armReplyTimer();
    // One failed poll of a wait that does not read the port (the command-mode waits);
    // false when a stop was requested.
    bool pollWithoutReading(PollCounter& polls);
    // One failed poll of a wait that reads the port itself (the measurement waits).
    bool pollReadingPort(PollCounter& polls, PortWaitBudget& budget);
    bool yieldInWait();
    std::optional<double> measurementFailed();

    SharedState& state_;
    CommControl& comm_;
    Timer& timer1_;
    EventLoop& loop_;
    CommFailureReport& report_;
    std::string lastCommand_;
};

}  // namespace kv
