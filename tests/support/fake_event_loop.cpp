#include "fake_event_loop.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace kv::test {

FakeTimer::FakeTimer(FakeEventLoop& loop, int intervalMs) : loop_(loop), interval_(intervalMs) {
    loop_.timers_.push_back(this);
}

FakeTimer::~FakeTimer() {
    std::erase(loop_.timers_, this);
}

void FakeTimer::setEnabled(bool enabled) {
    enabled_ = enabled;
    if (enabled) deadline_ = loop_.now + interval_;
}

void FakeTimer::fireIfDue(std::int64_t now) {
    if (enabled_ && deadline_ <= now) {
        deadline_ = now + interval_;
        ++ticks;
        raiseTick();
    }
}

ScriptedComm::ScriptedComm(FakeEventLoop& loop) : loop_(loop) {
    loop_.comms_.push_back(this);
}

ScriptedComm::~ScriptedComm() {
    std::erase(loop_.comms_, this);
}

bool ScriptedComm::setCommPort(int n) {
    if (n < 1 || n > 16) return false;
    port_ = n;
    return true;
}

bool ScriptedComm::setSettings(std::string_view text) {
    settings_ = std::string(text);
    return true;
}

bool ScriptedComm::setPortOpen(bool open) {
    if (open && failOpen) return false;
    open_ = open;
    return true;
}

void ScriptedComm::output(std::string_view bytes) {
    if (!open_) return;
    wire.append(bytes);
    outputs.emplace_back(bytes);
    if (responder) {
        std::string reply = responder(bytes);
        if (!reply.empty()) deliver(std::move(reply), loop_.now + latencyMs);
    }
}

void ScriptedComm::deliver(std::string bytes, std::int64_t atMs) {
    pending_.push_back({atMs < 0 ? loop_.now : atMs, std::move(bytes)});
    deliverDue(loop_.now);
}

void ScriptedComm::deliverDue(std::int64_t now) {
    auto it = pending_.begin();
    while (it != pending_.end()) {
        if (it->due <= now) {
            ready_ += it->bytes;
            arrived_ = true;
            it = pending_.erase(it);
        } else {
            ++it;
        }
    }
}

std::string ScriptedComm::input() {
    deliverDue(loop_.now);
    return std::exchange(ready_, {});
}

bool ScriptedComm::waitForInput(std::chrono::milliseconds limit) {
    deliverDue(loop_.now);
    if (ready_.empty() && blockingWaits) {
        std::int64_t until = loop_.now + limit.count();
        for (const auto& p : pending_) until = std::min(until, p.due);
        loop_.now = std::max(loop_.now, until);
        deliverDue(loop_.now);
    }
    return !ready_.empty();
}

void FakeEventLoop::at(std::int64_t timeMs, std::function<void()> fn) {
    scheduled_.push_back({timeMs, 0, std::move(fn)});
}

void FakeEventLoop::afterYields(int n, std::function<void()> fn) {
    scheduled_.push_back({0, yieldCount + n, std::move(fn)});
}

void FakeEventLoop::handleDue() {
    // Serial events first, then timers, then scripted actions, as a real loop might order them.
    for (auto* comm : std::vector<ScriptedComm*>(comms_)) {
        comm->deliverDue(now);
        comm->arrived_ = false;
        if (comm->open_ && !comm->ready_.empty()) {
            ++comm->onCommCount;
            comm->raiseOnComm();
        }
    }
    for (auto* timer : std::vector<FakeTimer*>(timers_)) timer->fireIfDue(now);
    std::vector<std::function<void()>> due;
    auto it = scheduled_.begin();
    while (it != scheduled_.end()) {
        const bool isDue = it->yieldNumber > 0 ? it->yieldNumber <= yieldCount : it->time <= now;
        if (isDue) {
            due.push_back(std::move(it->fn));
            it = scheduled_.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& fn : due) fn();
    if (onYield) onYield();
    lastYieldEnd_ = now;
}

void FakeEventLoop::yield() {
    ++yieldCount;
    now += stepMs;
    handleDue();
}

std::int64_t FakeEventLoop::nextEventTime() const {
    std::int64_t next = std::numeric_limits<std::int64_t>::max();
    for (auto* t : timers_)
        if (t->enabled_) next = std::min(next, t->deadline_);
    for (auto* c : comms_) {
        // Bytes that arrived outside a yield (a reply with no latency) are an event due now.
        if (c->open_ && c->arrived_ && !c->ready_.empty()) next = std::min(next, now);
        for (const auto& p : c->pending_) next = std::min(next, p.due);
    }
    for (const auto& s : scheduled_) next = std::min(next, s.yieldNumber > 0 ? now : s.time);
    return next;
}

void FakeEventLoop::yieldWaiting() {
    ++yieldCount;
    ++waitingYieldCount;
    const std::int64_t next = nextEventTime();
    if (next == std::numeric_limits<std::int64_t>::max())
        now += stepMs;
    else
        now = std::max(now, next);
    handleDue();
}

LocalTime FakeLocalClock::now() const {
    const std::int64_t ms = (start_ + loop_.now) % (24 * 3600000LL);
    LocalTime t;
    t.hours = static_cast<std::int32_t>(ms / 3600000);
    t.minutes = static_cast<std::int32_t>(ms / 60000 % 60);
    t.seconds = static_cast<std::int32_t>(ms / 1000 % 60);
    t.milliseconds = static_cast<std::int32_t>(ms % 1000);
    return t;
}

}  // namespace kv::test
