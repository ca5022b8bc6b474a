// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace kv {

// The drawing procedures the sweep calls; the display fills them in.
class DisplayCalls {
  public:
    virtual ~DisplayCalls() = default;
    virtual void drawScreen(bool clearFirst) = 0;
    virtual void layoutLegend() = 0;
    virtual void drawTrace() = 0;
    virtual void drawReadouts() = 0;
    virtual void drawMarkers() = 0;
};

}  // namespace kv
