#pragma once

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "radio_rig.h"
#include "sweep_controller.h"

namespace kv::test {

// The drawing calls of the sweep, in order.
class RecordingDisplay : public DisplayCalls {
  public:
    void drawScreen(bool clearFirst) override { record(clearFirst ? "screen(clear)" : "screen"); }
    void layoutLegend() override { record("layout"); }
    void drawTrace() override { record("trace"); }
    void drawReadouts() override { record("readouts"); }
    void drawMarkers() override { record("markers"); }

    int count(const std::string& name) const {
        return static_cast<int>(std::count(calls.begin(), calls.end(), name));
    }

    std::vector<std::string> calls;
    std::function<void(const std::string&)> onCall;  // runs after the call is recorded

  private:
    void record(const std::string& name) {
        calls.push_back(name);
        if (onCall) onCall(name);
    }
};

// The wire bytes of one sweep over `points` points.
inline std::string sweepBytes(int points) {
    std::string out;
    for (int i = 0; i < points; ++i) out += channelCommand(i) + "\x21\x02";
    return out;
}

}  // namespace kv::test
