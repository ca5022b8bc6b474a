// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "colour.h"
#include "limit.h"
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
    // The limit over the graph in its colour, the trace's points above it marked and the
    // check of the trace in the readouts; none: nothing of it. Takes effect at the next
    // drawing.
    void setLimit(std::optional<Limit> limit, Colour colour);
    // With a limit: per point the share of sweeps above it (0..1), as bars up from the plot's
    // bottom in the limit's colour; none: no bars.
    void setOccupancy(std::function<std::vector<double>()> shares) {
        occupancy_ = std::move(shares);
    }

  private:
    void printCommFailure(Colour colour, std::string_view text);
    void setLabelStyle();
    void drawGridLines(int divisions, int i);
    void drawTracePoint(int n, int i, const std::vector<TracePoint>& heights, Colour colour);
    // Erases what the row shows and prints `text` there instead.
    void printReadoutRow(ReadoutRow row, double x, double y, std::string text);
    double width() const { return surface_.scaleWidth(); }
    double height() const { return surface_.scaleHeight(); }

    // The limit and the marks as drawn, erased first; then drawn for the trace now, which
    // they check.
    void eraseLimit();
    void drawLimit();

    SharedState& state_;
    Surface& surface_;
    std::vector<double> compareLevels_;
    std::vector<TracePoint> compareShown_;  // the heights drawn last, erased next
    std::optional<Limit> limit_;
    Colour limitColour_ = 0;
    std::vector<std::int32_t> limitShownY_;  // per trace point, as last drawn
    std::vector<std::pair<std::int32_t, std::int32_t>> marksShown_;
    std::function<std::vector<double>()> occupancy_;
    std::vector<std::array<double, 4>> barsShown_;
};

}  // namespace kv
