// SPDX-License-Identifier: GPL-3.0-or-later
#include "waterfall_panel.h"

#include <algorithm>
#include <cmath>

#include "spectrum_model.h"

namespace kv {

WaterfallPanel::WaterfallPanel(const SharedState& state, const SweepHistory& history,
                               WaterfallView& view)
    : state_(state), history_(history), view_(view) {}

void WaterfallPanel::paintSweep(std::size_t back) {
    const auto row = view_.newRow();
    if (row.empty()) return;
    const auto& s = state_.settings;
    paintWaterfallRow(history_.levels(back), runs_, s.amplitude, palette_,
                      opaquePixel(s.backgroundColor), view_.scale().backColor().rgb(), row);
    const std::uint64_t number = history_.added() - 1 - back;
    if (timeLabelled(number))
        view_.labelNewestRow(rowTimeText(history_.begun(back)), s.graphLeft,
                             opaquePixel(s.messageColor), opaquePixel(s.backgroundColor));
}

void WaterfallPanel::addNewest() {
    if (history_.size() == 0) return;
    if (runs_.size() != history_.points()) layOutColumns();  // the first sweep since a redraw
    paintSweep(0);
}

void WaterfallPanel::layOutColumns() {
    // For the strip's own width, which is the picture's: the trace is laid out for it only
    // at its next pass.
    const ImageSurface& scale = view_.scale();
    SharedState columns;
    columns.settings = state_.settings;
    columns.settings.numberOfPoints = static_cast<std::int16_t>(history_.points());
    columns.trace.resize(history_.points());
    columns.previousTrace.resize(history_.points());
    layoutTracePoints(columns, scale.scaleWidth());
    runs_ = pointPixelRuns(columns.trace, [&scale](double twips) { return scale.toDevice(twips); });
}

void WaterfallPanel::redraw() {
    ImageSurface& scale = view_.scale();
    view_.setScaleHeight(static_cast<int>(
        std::ceil(waterfallScaleHeight(scale.textHeight("0")) / scale.twipsPerLogicalPixel())));
    view_.resetRows(scale.backColor().rgb());
    drawWaterfallScale(state_.settings, scale);
    layOutColumns();
    // Oldest first, so that each row's label hangs over the older rows as it did live.
    const std::size_t rows = std::min<std::size_t>(history_.size(), view_.ringRows());
    for (std::size_t back = rows; back-- > 0;) paintSweep(back);
}

}  // namespace kv
