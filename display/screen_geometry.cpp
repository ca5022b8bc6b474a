// SPDX-License-Identifier: GPL-3.0-or-later
#include "screen_geometry.h"

#include <algorithm>

#include "rounding.h"
#include "spectrum_model.h"

namespace kv {

int legendColumns(double plotWidth) {
    int columns = toInt32(plotWidth);
    columns = toInt32(columns / kLegendColumnWidth);
    if (plotWidth < columns * kLegendColumnWidth) columns -= 1;
    // A negative plot width would give a negative count and a legend loop that never ends.
    return columns < 1 ? 1 : columns;
}

int legendRows(int columns) {
    const double exact = static_cast<double>(kLegendEntries) / columns;
    int rows = toInt16(exact);
    if (exact > rows) rows += 1;
    return rows;
}

LegendLayout layoutLegendFor(const std::function<double()>& scaleWidth,
                             const std::function<double()>& scaleHeight, int graphLeft,
                             int graphRight) {
    LegendLayout out;
    const auto currentPlotWidth = [&] { return plotWidth(scaleWidth(), graphLeft, graphRight); };
    out.columns = legendColumns(currentPlotWidth());
    out.rows = legendRows(out.columns);
    const std::int32_t separatorY = toInt32(scaleHeight() - (out.rows + 1) * kLegendRowPitch);
    out.positions[0].y = separatorY;
    const std::int16_t graphBottom = toInt16(scaleHeight() - (separatorY - kLegendRowPitch));
    int k = 1;
    for (int row = 1; k <= kLegendEntries; ++row) {
        for (int column = 0; column < out.columns && k <= kLegendEntries; ++column, ++k) {
            auto& p = out.positions[static_cast<std::size_t>(k)];
            p.x = toInt32(currentPlotWidth() / out.columns * column + graphLeft);
            p.y = toInt32(scaleHeight() - graphBottom + kTickLength + row * kLegendRowPitch);
        }
    }
    out.graphBottom = toInt16(graphBottom + kLegendRowPitch);
    return out;
}

LegendLayout layoutLegendFor(double scaleWidth, double scaleHeight, int graphLeft, int graphRight) {
    return layoutLegendFor([scaleWidth] { return scaleWidth; },
                           [scaleHeight] { return scaleHeight; }, graphLeft, graphRight);
}

int gridDivisions(int numberOfGradiants) {
    return numberOfGradiants < 1 ? 1 : numberOfGradiants;
}

double gridLineX(double scaleWidth, int graphLeft, int graphRight, int divisions, int i) {
    return graphLeft + plotWidth(scaleWidth, graphLeft, graphRight) / divisions * i;
}

double gridLineY(double scaleHeight, int graphTop, int graphBottom, int divisions, int i) {
    return graphTop + plotHeight(scaleHeight, graphTop, graphBottom) / divisions * i;
}

float frequencyLabelValue(float centerFrequency, float span, int divisions, int i) {
    const float start = centerFrequency - span / 2.0f;
    const float step = span / static_cast<float>(divisions);
    return start + step * static_cast<float>(i);
}

double amplitudeLabelValue(float amplitude, int divisions, int i) {
    // This order of operations fixes the last bit, and with it how ties round in the label.
    return (kLevelSpanDb - kLevelSpanDb / divisions * i) +
           ((static_cast<double>(amplitude) - 35) - 35);
}

TextPosition frequencyLabelPosition(double gridX, double scaleHeight, int graphBottom,
                                    double textWidth) {
    return {gridX - textWidth / 2, scaleHeight - graphBottom + kTickLength};
}

TextPosition amplitudeLabelPosition(double gridY, int graphLeft, double textWidth,
                                    double textHeight) {
    return {graphLeft - kTickLength - textWidth - kAmplitudeLabelGap, gridY - textHeight / 2};
}

ClientSize minimumClientSize(const SettingValues& s, double widestFrequencyLabel,
                             double widestLegendText, double textHeight, double readoutHeight) {
    const int divisions = gridDivisions(s.numberOfGradiants);
    const int margins = s.graphLeft + s.graphRight;
    // Labels one tick length apart at least; a single legend column starts at the plot's left.
    const double plotWidth = std::max(
        {divisions * (widestFrequencyLabel + kTickLength), widestLegendText - s.graphRight, 1.0});
    const double width = margins + plotWidth;
    // The legend's rows, and with them the bottom margin, depend on the width only.
    const int graphBottom = layoutLegendFor(width, 0, s.graphLeft, s.graphRight).graphBottom;
    const double plotHeight =
        std::max(divisions * (textHeight + kAmplitudeLabelGap), readoutHeight);
    return {width, s.graphTop + graphBottom + plotHeight};
}

std::array<Segment, 4> markerSymbolSegments(double x, double y) {
    const double top = y - kMarkerHeight;
    const double middle = y - kMarkerHeight / 2;
    return {{
        {x, top, x - kMarkerHalfWidth, middle},
        {x, top, x + kMarkerHalfWidth, middle},
        {x + kMarkerHalfWidth, middle, x, y},
        {x, y, x - kMarkerHalfWidth, middle},
    }};
}

}  // namespace kv
