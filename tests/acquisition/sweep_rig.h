#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "radio_rig.h"
#include "sweep_controller.h"

namespace kv::test {

// The drawing calls of the sweep, in order, each with the fake time it was made at.
class RecordingDisplay : public DisplayCalls {
  public:
    // Without a fake loop every time is 0.
    explicit RecordingDisplay(const FakeEventLoop* loop = nullptr) : loop_(loop) {}

    void drawScreen(bool clearFirst) override {
        record(clearFirst ? "drawScreen(-1)" : "drawScreen(0)");
    }
    void layoutLegend() override { record("layoutLegend"); }
    void drawTrace() override { record("drawTrace"); }
    void drawReadouts() override { record("drawReadouts"); }
    void drawMarkers() override { record("drawMarkers"); }

    int count(const std::string& name) const {
        return static_cast<int>(std::count(calls.begin(), calls.end(), name));
    }

    std::vector<std::string> calls;
    std::vector<std::int64_t> times;
    std::function<void(const std::string&)> onCall;  // runs after the call is recorded

  private:
    void record(const std::string& name) {
        calls.push_back(name);
        times.push_back(loop_ ? loop_->now : 0);
        if (onCall) onCall(name);
    }
    const FakeEventLoop* loop_;
};

// The real radio link and sweep controller against a fake radio, on fake time, idle as the
// window load leaves it.
struct SweepRig : RadioRig {
    FakeTimer timer3{loop, SweepController::kTimer3IntervalMs};
    RecordingDisplay display{&loop};
    FakeLocalClock clock;
    SweepController sweep{state, radio, display, surface, loop, clock, timer3};

    explicit SweepRig(std::int64_t clockStartMsOfDay = 12 * 3600000LL)
        : clock(loop, clockStartMsOfDay) {
        state.flags.stopRequested = true;
    }

    // Requests a stop in the n-th drawTrace (after n sweep passes).
    void stopAfterPasses(int n) {
        display.onCall = [this, n](const std::string& name) {
            if (name == "drawTrace" && display.count("drawTrace") == n)
                state.flags.stopRequested = true;
        };
    }
};

// The wire bytes of one sweep over `points` points.
inline std::string sweepBytes(int points) {
    std::string out;
    for (int i = 0; i < points; ++i) out += channelCommand(i) + "\x21\x02";
    return out;
}

}  // namespace kv::test
