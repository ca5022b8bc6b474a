// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>
#include <functional>

#include "sweep_interfaces.h"

namespace kv::test {

// The redraws asked of the display, in order.
class RecordingDisplay : public DisplayCalls {
  public:
    void drawScreen(bool clearFirst) override { record(clearFirst ? "screen(clear)" : "screen"); }
    void layoutLegend() override { record("layout"); }
    void drawTrace() override { record("trace"); }
    void drawReadouts() override { record("readouts"); }
    void drawMarkers() override { record("markers"); }

    QStringList calls;
    std::function<void(const QString&)> onCall;  // runs after the call is recorded

  private:
    void record(const QString& name) {
        calls << name;
        if (onCall) onCall(name);
    }
};

}  // namespace kv::test
