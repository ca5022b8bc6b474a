// SPDX-License-Identifier: GPL-3.0-or-later
#include "waterfall_panel.h"

#include <algorithm>
#include <cmath>

#include "spectrum_model.h"

namespace kv {

WaterfallPanel::WaterfallPanel(const SharedState& state, const SweepHistory& rows,
                               WaterfallView& view, bool withFrequencies)
    : state_(state), rows_(rows), view_(view), withFrequencies_(withFrequencies) {}

void WaterfallPanel::paintRow(std::size_t back, bool newRow) {
    const auto row = newRow ? view_.newRow() : view_.newestRow();
    if (row.empty()) return;
    const auto& s = state_.settings;
    const std::uint32_t margin = view_.scale().backColor().rgb();
    paintWaterfallRow(rows_.levels(back), runs_, s.amplitude, palette_,
                      opaquePixel(s.backgroundColor),
                      marginOf ? marginOf(back).value_or(margin) : margin, row);
    const auto number = static_cast<std::int64_t>(rows_.added() - 1 - back);
    // Two labels' height apart: a label's height of rows shows between them.
    const bool labelled =
        newRow ? takesTimeLabel(lastLabel_, number, lineSeconds(rows_.begun(back)),
                                2 * view_.labelRows())
               : lastLabel_ && lastLabel_->row == number;  // its label written over again
    if (labelled)
        view_.labelNewestRow(rowTimeText(rows_.begun(back)), s.graphLeft,
                             opaquePixel(s.messageColor), opaquePixel(s.backgroundColor));
}

void WaterfallPanel::addNewest(bool newRow) {
    if (rows_.size() == 0) return;
    if (runs_.size() != rows_.points()) layOutColumns();  // the first sweep since a redraw
    paintRow(0, newRow);
}

void WaterfallPanel::layOutColumns() {
    // For the strip's own width, which is the picture's: the trace is laid out for it only
    // at its next pass.
    const ImageSurface& scale = view_.scale();
    SharedState columns;
    columns.settings = state_.settings;
    columns.settings.numberOfPoints = static_cast<std::int16_t>(rows_.points());
    columns.trace.resize(rows_.points());
    columns.previousTrace.resize(rows_.points());
    layoutTracePoints(columns, scale.scaleWidth());
    runs_ = pointPixelRuns(columns.trace, [&scale](double twips) { return scale.toDevice(twips); });
}

void WaterfallPanel::redraw() {
    ImageSurface& scale = view_.scale();
    view_.setScaleHeight(
        static_cast<int>(std::ceil(waterfallScaleHeight(scale.textHeight("0"), withFrequencies_) /
                                   scale.twipsPerLogicalPixel())));
    view_.resetRows(scale.backColor().rgb());
    drawWaterfallScale(state_.settings, scale, withFrequencies_);
    layOutColumns();
    // Oldest first, so that each row's label hangs over the older rows as it did live.
    lastLabel_.reset();
    const std::size_t rows = std::min<std::size_t>(rows_.size(), view_.ringRows());
    for (std::size_t back = rows; back-- > 0;) paintRow(back, true);
}

}  // namespace kv
