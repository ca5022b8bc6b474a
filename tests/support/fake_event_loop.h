// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "clock.h"
#include "comm_control.h"
#include "event_loop.h"
#include "timer.h"

namespace kv::test {

class FakeTimer;
class ScriptedComm;

// Fake time: one millisecond a yield, or, for a waiting yield, on to the next event.
class FakeEventLoop : public EventLoop {
  public:
    void yield() override {
        ++yieldCount;
        ++now;
        handleDue();
    }
    void yieldWaiting() override;
    std::chrono::milliseconds sinceLastYield() const override {
        return std::chrono::milliseconds(now - lastYieldEnd_);
    }
    // Runs fn inside the first yield at or after the given fake time.
    void at(std::int64_t timeMs, std::function<void()> fn) {
        scheduled_.push_back({timeMs, 0, std::move(fn)});
    }
    // Runs fn inside the n-th yield from now (1 = the next one).
    void afterYields(int n, std::function<void()> fn) {
        scheduled_.push_back({0, yieldCount + n, std::move(fn)});
    }

    std::int64_t now = 0;
    int yieldCount = 0;
    int waitingYieldCount = 0;
    std::function<void()> onYield;  // runs inside every yield, after the events

  private:
    friend class FakeTimer;
    friend class ScriptedComm;
    void handleDue();
    struct Scheduled {
        std::int64_t time;
        int yieldNumber;  // 0: by time
        std::function<void()> fn;
        bool due(std::int64_t now, int yields) const {
            return yieldNumber > 0 ? yieldNumber <= yields : time <= now;
        }
    };
    std::vector<FakeTimer*> timers_;
    std::vector<ScriptedComm*> comms_;
    std::vector<Scheduled> scheduled_;
    std::int64_t lastYieldEnd_ = 0;
};

// A timer driven by the fake clock of a FakeEventLoop.
class FakeTimer : public Timer {
  public:
    FakeTimer(FakeEventLoop& loop, int intervalMs) : loop_(loop), interval_(intervalMs) {
        loop_.timers_.push_back(this);
    }
    ~FakeTimer() override { std::erase(loop_.timers_, this); }
    void setEnabled(bool enabled) override {
        enabled_ = enabled;
        deadline_ = loop_.now + interval_;
    }
    bool enabled() const { return enabled_; }
    void setInterval(int milliseconds) override { interval_ = milliseconds; }
    std::chrono::milliseconds remainingTime() const override {
        if (!enabled_) return std::chrono::milliseconds::max();
        return std::chrono::milliseconds(std::max<std::int64_t>(0, deadline_ - loop_.now));
    }

  private:
    friend class FakeEventLoop;
    void fireIfDue(std::int64_t now) {
        if (!enabled_ || deadline_ > now) return;
        deadline_ = now + interval_;
        raiseTick();
    }
    FakeEventLoop& loop_;
    int interval_;
    bool enabled_ = false;
    std::int64_t deadline_ = 0;
};

// A serial control whose far end is a function: every output() is handed to the responder,
// and its answer becomes readable `latencyMs` of fake time later.
class ScriptedComm : public CommControl {
  public:
    explicit ScriptedComm(FakeEventLoop& loop) : loop_(loop) { loop_.comms_.push_back(this); }
    ~ScriptedComm() override { std::erase(loop_.comms_, this); }

    bool setCommPort(int n) override {
        if (n < 1 || n > 16) return false;
        port_ = n;
        return true;
    }
    int commPort() const { return port_; }
    bool setSettings(std::string_view text) override {
        settings_ = std::string(text);
        return true;
    }
    std::string settings() const { return settings_; }
    bool portOpen() const override { return open_; }
    bool setPortOpen(bool open) override {
        if (open && failOpen) return false;
        open_ = open;
        return true;
    }
    void setHandshaking(int mode) override { handshakingWrites.push_back(mode); }
    void setRtsEnable(bool enable) override { rtsWrites.push_back(enable); }
    void output(std::string_view bytes) override {
        if (!open_) return;
        wire.append(bytes);
        outputs.emplace_back(bytes);
        if (!responder) return;
        if (std::string reply = responder(bytes); !reply.empty())
            deliver(std::move(reply), loop_.now + latencyMs);
    }
    std::string input() override {
        deliverDue(loop_.now);
        return std::exchange(ready_, {});
    }
    void clearOutBuffer() override { ++clearOutBufferCount; }
    bool portLost() const override { return lost; }
    std::string portDevice() const override { return device; }
    PortProblem openProblem() const override { return problem; }
    bool waitForInput(std::chrono::milliseconds limit) override {
        deliverDue(loop_.now);
        if (ready_.empty() && blockingWaits) {
            std::int64_t until = loop_.now + limit.count();
            for (const auto& p : pending_) until = std::min(until, p.due);
            loop_.now = std::max(loop_.now, until);
            deliverDue(loop_.now);
        }
        return !ready_.empty();
    }

    // Makes bytes readable at the given fake time (now when omitted).
    void deliver(std::string bytes, std::int64_t atMs = -1) {
        pending_.push_back({atMs < 0 ? loop_.now : atMs, std::move(bytes)});
        deliverDue(loop_.now);
    }

    std::function<std::string(std::string_view)> responder;
    int latencyMs = 0;
    // waitForInput blocks in fake time, as a real port does, until bytes are due or the limit.
    bool blockingWaits = false;
    bool failOpen = false;
    bool lost = false;                 // the device went away under the open port
    std::string device;                // what the port stands for
    PortProblem problem;               // of the last open
    std::string wire;                  // every byte sent, in order
    std::vector<std::string> outputs;  // one entry per output() call
    std::vector<int> handshakingWrites;
    std::vector<bool> rtsWrites;
    int clearOutBufferCount = 0;

  private:
    friend class FakeEventLoop;
    void deliverDue(std::int64_t now) {
        for (const Pending& p : pending_)
            if (p.due <= now) ready_ += p.bytes, arrived_ = true;
        std::erase_if(pending_, [now](const Pending& p) { return p.due <= now; });
    }
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

// Serial events first, then timers, then scripted actions, as a real loop might order them.
inline void FakeEventLoop::handleDue() {
    for (auto* comm : std::vector<ScriptedComm*>(comms_)) {
        comm->deliverDue(now);
        comm->arrived_ = false;
        if (comm->open_ && !comm->ready_.empty()) comm->raiseOnComm();
    }
    for (auto* timer : std::vector<FakeTimer*>(timers_)) timer->fireIfDue(now);
    std::vector<std::function<void()>> due;
    for (const auto& s : scheduled_)
        if (s.due(now, yieldCount)) due.push_back(s.fn);
    std::erase_if(scheduled_, [this](const Scheduled& s) { return s.due(now, yieldCount); });
    for (auto& fn : due) fn();
    if (onYield) onYield();
    lastYieldEnd_ = now;
}

inline void FakeEventLoop::yieldWaiting() {
    ++yieldCount;
    ++waitingYieldCount;
    std::int64_t next = std::numeric_limits<std::int64_t>::max();
    for (auto* t : timers_)
        if (t->enabled_) next = std::min(next, t->deadline_);
    for (auto* c : comms_) {
        // Bytes that arrived outside a yield (a reply with no latency) are an event due now.
        if (c->open_ && c->arrived_ && !c->ready_.empty()) next = std::min(next, now);
        for (const auto& p : c->pending_) next = std::min(next, p.due);
    }
    for (const auto& s : scheduled_) next = std::min(next, s.yieldNumber > 0 ? now : s.time);
    now = next == std::numeric_limits<std::int64_t>::max() ? now + 1 : std::max(now, next);
    handleDue();
}

// Both clocks follow the fake time: the steady one from `steadyStartMs`, the time of day from
// `startMsOfDay`, stepped by `stepMs` (as NTP or a change to daylight saving would step it).
class FakeClock : public Clock {
  public:
    explicit FakeClock(const FakeEventLoop& loop, std::int64_t startMsOfDay = 12 * 3600000LL)
        : loop_(loop), start_(startMsOfDay) {}
    LocalTime localTime() const override {
        constexpr std::int64_t kDay = 24 * 3600000LL;
        const std::int64_t ms = ((start_ + stepMs + loop_.now) % kDay + kDay) % kDay;
        return {std::int32_t(ms / 3600000), std::int32_t(ms / 60000 % 60),
                std::int32_t(ms / 1000 % 60), std::int32_t(ms % 1000)};
    }
    std::int64_t steadyMs() const override { return steadyStartMs + loop_.now; }

    std::int64_t stepMs = 0;
    std::int64_t steadyStartMs = 1000000;

  private:
    const FakeEventLoop& loop_;
    std::int64_t start_;
};

}  // namespace kv::test
