// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>
#include <vector>

#include "colour.h"
#include "link_report.h"
#include "screen_geometry.h"
#include "shared_state.h"
#include "surface.h"
#include "sweep_interfaces.h"

namespace kv {

// Everything drawn on the main window: graticule, labels and legend, the trace, the
// readouts and the marker symbols. Erasing is drawing again in the background colour.
// The surface's width and height are read at every use: the window can change size
// between any two calls.
class Display final : public DisplayCalls, public LinkReport {
  public:
    Display(SharedState& state, Surface& surface);

    // The full redraw; clears the whole surface first when clearFirst.
    void drawScreen(bool clearFirst) override;
    // Places the legend for the current window size and sets the plot's bottom margin.
    void layoutLegend() override;
    // Erases the previous trace, redraws the grid, draws the current trace.
    void drawTrace() override;
    // Reprints every readout row over the text it shows.
    void drawReadouts() override;
    // Moves the marker symbols and composes the marker readout lines.
    void drawMarkers() override;

    // The communication-failure message, inside the graph near its top-left corner.
    void eraseCommFailure(std::string_view shown) override;
    void showCommFailure(std::string_view message) override;

    // The smallest client area (twips) at which the plot, the axis labels and the legend fit
    // without overlapping, in the label font.
    ClientSize minimumClientSize();

    // The marker diamond with its bottom vertex on (x, y).
    void drawMarkerSymbol(double x, double y, Colour colour);

    // A second radio's trace, drawn with the trace in kCompareColour: one level per point of
    // the shown band, NaN where it has none; empty takes it away at the next drawing.
    void setCompareLevels(std::vector<double> levelsDb) { compareLevels_ = std::move(levelsDb); }
    // Apart from every colour the settings give the picture.
    static constexpr Colour kCompareColour = rgbColour(255, 128, 0);

  private:
    void printCommFailure(Colour colour, std::string_view text);
    void setLabelStyle();
    void drawGridLines(int divisions, int i);
    void drawTracePoint(int n, int i, const std::vector<TracePoint>& heights, Colour colour);
    // Erases what the row shows and prints `text` there instead.
    void printReadoutRow(ReadoutRow row, double x, double y, std::string text);
    double width() const { return surface_.scaleWidth(); }
    double height() const { return surface_.scaleHeight(); }

    SharedState& state_;
    Surface& surface_;
    std::vector<double> compareLevels_;
    std::vector<TracePoint> compareShown_;  // the heights drawn last, erased next
};

}  // namespace kv
