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

// The radio exchanges the sweep uses.
class RadioLink {
  public:
    virtual ~RadioLink() = default;
    virtual bool enterCommandMode() = 0;
    virtual bool exitCommandMode() = 0;
    virtual void reportCommFailure(bool eraseOnly) = 0;
    virtual bool measurePoint(int point) = 0;
};

}  // namespace kv
