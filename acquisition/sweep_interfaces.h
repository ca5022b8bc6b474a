// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string_view>

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

// Where the radio shows its communication-failure message: the window draws it, a program
// without a window may print it.
class CommFailureReport {
  public:
    virtual ~CommFailureReport() = default;
    // Removes the message last shown; `shown` is its text (empty when none is shown).
    virtual void eraseCommFailure(std::string_view shown) = 0;
    virtual void showCommFailure(std::string_view message) = 0;
};

// The radio exchanges the sweep uses.
class RadioLink {
  public:
    virtual ~RadioLink() = default;
    [[nodiscard]] virtual bool enterCommandMode() = 0;
    [[nodiscard]] virtual bool exitCommandMode() = 0;
    virtual void reportCommFailure(bool eraseOnly) = 0;
    // The level in dB read for the point; nothing when the exchange failed or a stop was
    // requested.
    [[nodiscard]] virtual std::optional<double> measurePoint(int point) = 0;
};

}  // namespace kv
