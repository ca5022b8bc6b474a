// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "shared_state.h"
#include "sweep_history.h"
#include "waterfall_map.h"
#include "waterfall_view.h"

namespace kv {

// Draws the waterfall strip from the sweep history: a row for each new sweep, or every row
// again after a change of size, with the time labels and the colour scale.
class WaterfallPanel {
  public:
    WaterfallPanel(const SharedState& state, const SweepHistory& history, WaterfallView& view);

    // The history's newest sweep as the strip's new top row.
    void addNewest();
    // Every row the strip has room for, from the history, and the scale: for a new size.
    void redraw();

  private:
    void layOutColumns();
    void paintSweep(std::size_t back);

    const SharedState& state_;
    const SweepHistory& history_;
    WaterfallView& view_;
    const std::array<std::uint32_t, kWaterfallShades> palette_ = waterfallPalette();
    std::vector<PixelRun> runs_;  // for the strip's width
};

}  // namespace kv
