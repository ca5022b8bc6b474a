#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "comm_control.h"
#include "event_loop.h"
#include "local_clock.h"
#include "timer.h"

namespace kv::test {

class FakeEventLoop;

// A timer driven by the fake clock of a FakeEventLoop.
class FakeTimer : public Timer {
  public:
    FakeTimer(FakeEventLoop& loop, int intervalMs);
    ~FakeTimer() override;
    void setEnabled(bool enabled) override;
    bool enabled() const { return enabled_; }
    void setInterval(int milliseconds) override { interval_ = milliseconds; }
    int interval() const { return interval_; }

    int ticks = 0;

  private:
    friend class FakeEventLoop;
    void fireIfDue(std::int64_t now);
    FakeEventLoop& loop_;
    int interval_;
    bool enabled_ = false;
    std::int64_t deadline_ = 0;
};

// A serial control whose far end is a function: every output() is handed to the responder,
// and its answer becomes readable `latencyMs` of fake time later.
class ScriptedComm : public CommControl {
  public:
    explicit ScriptedComm(FakeEventLoop& loop);
    ~ScriptedComm() override;

    bool setCommPort(int n) override;
    int commPort() const { return port_; }
    bool setSettings(std::string_view text) override;
    std::string settings() const { return settings_; }
    bool portOpen() const override { return open_; }
    bool setPortOpen(bool open) override;
    void setHandshaking(int mode) override { handshakingWrites.push_back(mode); }
    void setRtsEnable(bool enable) override { rtsWrites.push_back(enable); }
    void output(std::string_view bytes) override;
    std::string input() override;
    void clearOutBuffer() override { ++clearOutBufferCount; }
    bool waitForInput(std::chrono::milliseconds limit) override;

    // Makes bytes readable at the given fake time (now when omitted).
    void deliver(std::string bytes, std::int64_t atMs = -1);

    std::function<std::string(std::string_view)> responder;
    int latencyMs = 0;
    // waitForInput blocks in fake time, as a real port does, until bytes are due or the limit.
    bool blockingWaits = false;
    bool failOpen = false;
    std::string wire;                  // every byte sent, in order
    std::vector<std::string> outputs;  // one entry per output() call
    std::vector<int> handshakingWrites;
    std::vector<bool> rtsWrites;
    int clearOutBufferCount = 0;
    int onCommCount = 0;

  private:
    friend class FakeEventLoop;
    void deliverDue(std::int64_t now);
    struct Pending {
        std::int64_t due;
        std::string bytes;
    };
    FakeEventLoop& loop_;
    std::vector<Pending> pending_;
    std::string ready_;
    bool arrived_ = false;  // bytes became ready since the last receive event
    int port_ = 1;
    std::string settings_ = "9600,n,8,1";
    bool open_ = false;
};

// Fake time that moves only when the code under test yields.
class FakeEventLoop : public EventLoop {
  public:
    void yield() override;
    // Sleeps (in fake time) until the next event when nothing is due.
    void yieldWaiting() override;
    std::chrono::milliseconds sinceLastYield() const override {
        return std::chrono::milliseconds(now - lastYieldEnd_);
    }

    // Runs fn inside the first yield at or after the given fake time.
    void at(std::int64_t timeMs, std::function<void()> fn);
    // Runs fn inside the n-th yield from now (1 = the next one).
    void afterYields(int n, std::function<void()> fn);

    std::int64_t now = 0;
    int stepMs = 1;
    int yieldCount = 0;
    int waitingYieldCount = 0;
    std::function<void()> onYield;  // runs inside every yield, after the events

  private:
    friend class FakeTimer;
    friend class ScriptedComm;
    void handleDue();
    std::int64_t nextEventTime() const;
    struct Scheduled {
        std::int64_t time;
        int yieldNumber;  // 0: by time
        std::function<void()> fn;
    };
    std::vector<FakeTimer*> timers_;
    std::vector<ScriptedComm*> comms_;
    std::vector<Scheduled> scheduled_;
    std::int64_t lastYieldEnd_ = 0;
};

// The local time of day, following the fake clock from a starting time of day.
class FakeLocalClock : public LocalClock {
  public:
    FakeLocalClock(const FakeEventLoop& loop, std::int64_t startMsOfDay = 12 * 3600000LL)
        : loop_(loop), start_(startMsOfDay) {}
    LocalTime now() const override;

  private:
    const FakeEventLoop& loop_;
    std::int64_t start_;
};

}  // namespace kv::test
