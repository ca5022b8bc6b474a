// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "shared_state.h"
#include "sweep_history.h"
#include "waterfall_map.h"
#include "waterfall_view.h"

namespace kv {

// Draws the waterfall strip from its rows: a row for each new row, the newest again while it
// takes sweeps, or every row again after a change of size, with the time labels and the colour
// scale (and for a saved picture the frequency axis).
class WaterfallPanel {
  public:
    WaterfallPanel(const SharedState& state, const SweepHistory& rows, WaterfallView& view,
                   bool withFrequencies = false);

    // The rows' newest as the strip's new top row, or drawn again over the top row.
    void addNewest(bool newRow = true);
    // Every row the strip has room for, and the scale: for a new size.
    void redraw();
    // The newest row with a time label.
    std::optional<TimeLabel> lastLabel() const { return lastLabel_; }
    // The colour of the margins beside row `back` where it differs from the strip's (a cursor
    // or a selection over the rows); none for the usual one.
    std::function<std::optional<std::uint32_t>(std::size_t back)> marginOf;

  private:
    void layOutColumns();
    void paintRow(std::size_t back, bool newRow);

    const SharedState& state_;
    const SweepHistory& rows_;
    WaterfallView& view_;
    bool withFrequencies_;
    const std::array<std::uint32_t, kWaterfallShades> palette_ = waterfallPalette();
    std::vector<PixelRun> runs_;  // for the strip's width
    std::optional<TimeLabel> lastLabel_;
};

}  // namespace kv
