// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <optional>
#include <span>

#include "colour.h"
#include "markers.h"
#include "shared_state.h"
#include "surface.h"
#include "sweep_interfaces.h"

namespace kv {

class Display;

// The keyboard and mouse commands of the main window: the markers, peak searches, the
// reference level and the display modes. Every key and click is ignored while no sweep run is
// in progress.
class KeyCommands {
  public:
    // Draws the marker diamond with its bottom vertex on (x, y).
    using MarkerSymbolPainter = std::function<void(double x, double y, Colour colour)>;

    KeyCommands(SharedState& state, const Surface& surface, DisplayCalls& display,
                MarkerSymbolPainter drawMarkerSymbol);
    KeyCommands(SharedState& state, const Surface& surface, Display& display);

    // What W and F7 do to the window's waterfall strip: show or hide it, draw it again.
    struct StripCalls {
        std::function<void()> toggle;
        std::function<void()> redraw;
    };
    void setStripCalls(StripCalls calls) { strip_ = std::move(calls); }
    // What L does: the limit check on or off.
    void setLimitToggle(std::function<void()> toggle) { limitToggle_ = std::move(toggle); }

    // A virtual-key code (see virtual_keys.h); modifiers play no part.
    void keyDown(int virtualKeyCode);
    // A left click at (x, y), in twips: inside the plot the active marker steps towards the
    // point under the pointer as the arrow keys would take it there.
    void click(double x, double y);
    // A double click: the active marker goes to the highest point near the one under the
    // pointer, within kDoubleClickReach columns.
    void doubleClick(double x, double y);

    // Moves the active marker to the highest point.
    void peakSearch();
    // Moves the active marker to the next peak in the direction, if there is one.
    void nextPeak(SearchDirection direction);
    // Steps the active marker one point, unless its symbol would reach into the margin.
    void stepMarkerLeft();
    void stepMarkerRight();
    void toggleMarkerDelta();
    // Page Up and Page Down: the reference level by `db`; the picture follows on the next pass.
    void shiftReferenceLevel(float db);
    // Erases marker 1's symbol, and marker 2's in marker-delta mode.
    void eraseMarkers();
    // A and, while it is on, + and -: the average on or off, one sweep more or fewer.
    void averageKey(int virtualKeyCode);

  private:
    std::int16_t& activeMarker();
    std::span<const TracePoint> usablePoints() const;
    std::optional<int> pointUnder(double x, double y) const;

    SharedState& state_;
    const Surface& surface_;
    DisplayCalls& display_;
    MarkerSymbolPainter drawMarkerSymbol_;
    StripCalls strip_;
    std::function<void()> limitToggle_;
};

}  // namespace kv
