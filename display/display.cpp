// SPDX-License-Identifier: GPL-3.0-or-later
#include "display.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "number_format.h"
#include "number_text.h"
#include "screen_geometry.h"
#include "spectrum_model.h"

namespace kv {

namespace {

constexpr double kReadoutIndent = 50;
constexpr float kRightColumnOffset = 2500;
constexpr std::array<double, 4> kReadoutRowOffsets = {50, 250, 450, 650};
// The limit's check, below the communication-failure message: the longest readout, in the
// left column where it has the plot's width.
constexpr double kLimitRowOffset = 850;
// The height of an occupancy bar of 1 (every sweep above the limit).
constexpr double kOccupancyBarTwips = 600;
// Half the side of the box that marks a point above the limit.
constexpr double kLimitMarkTwips = 30;

// The sweep time, and while the average is on how many sweeps it takes.
std::string sweepTimeRowText(const SharedState& state) {
    if (!state.average.on) return state.texts.sweepTimeText;
    const std::string average = "Avg " + std::to_string(state.average.sweeps);
    if (state.texts.sweepTimeText.empty()) return average;
    return state.texts.sweepTimeText + "    " + average;
}

}  // namespace

Display::Display(SharedState& state, Surface& surface) : state_(state), surface_(surface) {}

void Display::setLabelStyle() {
    surface_.setForeColor(state_.settings.labelColor);
    surface_.setFont(kLabelFontName, kLabelFontPoints, false);
}

void Display::drawGridLines(int divisions, int i) {
    const auto& s = state_.settings;
    const double x = gridLineX(width(), s.graphLeft, s.graphRight, divisions, i);
    surface_.line(x, s.graphTop, x, height() - s.graphBottom + kTickLength, s.gridColor);
    const double y = gridLineY(height(), s.graphTop, s.graphBottom, divisions, i);
    surface_.line(s.graphLeft - kTickLength, y, width() - s.graphRight, y, s.gridColor);
}

void Display::drawScreen(bool clearFirst) {
    // A repaint or a colour change can come before the first layout; laying the legend out
    // here gives the complete picture the first layout would give anyway.
    if (!state_.legendPos) layoutLegend();
    const auto& s = state_.settings;

    if (clearFirst) surface_.clear();
    surface_.filledBox(s.graphLeft, s.graphTop, width() - s.graphRight, height() - s.graphBottom,
                       s.backgroundColor);
    setLabelStyle();

    const int divisions = gridDivisions(s.numberOfGradiants);
    for (int i = 0; i <= divisions; ++i) {
        const double x = gridLineX(width(), s.graphLeft, s.graphRight, divisions, i);
        const double y = gridLineY(height(), s.graphTop, s.graphBottom, divisions, i);
        drawGridLines(divisions, i);

        const std::string frequency =
            labelText(frequencyLabelValue(s.centerFrequency, s.span, divisions, i));
        const auto fp =
            frequencyLabelPosition(x, height(), s.graphBottom, surface_.textWidth(frequency));
        surface_.printAt(fp.x, fp.y, frequency);

        const std::string amplitude = labelText(amplitudeLabelValue(s.amplitude, divisions, i));
        const auto ap = amplitudeLabelPosition(y, s.graphLeft, surface_.textWidth(amplitude),
                                               surface_.textHeight(amplitude));
        surface_.printAt(ap.x, ap.y, amplitude);
    }

    setLabelStyle();
    const auto& legend = *state_.legendPos;
    surface_.line(0, legend[0].y, width(), legend[0].y);
    for (int k = 1; k <= kLegendEntries; ++k) {
        const auto& p = legend[static_cast<std::size_t>(k)];
        surface_.printAt(p.x, p.y, kLegendTexts[static_cast<std::size_t>(k)]);
    }

    drawTrace();
    drawReadouts();
    drawMarkers();
}

ClientSize Display::minimumClientSize() {
    const auto& s = state_.settings;
    surface_.setFont(kLabelFontName, kLabelFontPoints, false);
    const int divisions = gridDivisions(s.numberOfGradiants);
    double widestFrequency = 0;
    for (int i = 0; i <= divisions; ++i) {
        widestFrequency =
            std::max(widestFrequency, surface_.textWidth(labelText(frequencyLabelValue(
                                          s.centerFrequency, s.span, divisions, i))));
        // The waterfall strip's scale prints the levels in the same columns, in the same face.
        widestFrequency =
            std::max(widestFrequency,
                     surface_.textWidth(labelText(amplitudeLabelValue(s.amplitude, divisions, i))));
    }
    double widestLegend = 0;
    for (const auto text : kLegendTexts)
        widestLegend = std::max(widestLegend, surface_.textWidth(text));
    const double textHeight = surface_.textHeight("0");
    return kv::minimumClientSize(
        s, widestFrequency, widestLegend, textHeight,
        (limit_ ? kLimitRowOffset : kReadoutRowOffsets.back()) + textHeight);
}

void Display::layoutLegend() {
    const auto layout = layoutLegendFor([this] { return width(); }, [this] { return height(); },
                                        state_.settings.graphLeft, state_.settings.graphRight);
    state_.legendPos = layout.positions;
    state_.settings.graphBottom = layout.graphBottom;
}

// The segments of point i, with x from the trace and y from `heights`. A point has a value
// when its yOut is not 0; a segment joins two points that both have one.
void Display::drawTracePoint(int n, int i, const std::vector<TracePoint>& heights, Colour colour) {
    const auto& x = state_.trace;
    const auto at = [](const std::vector<TracePoint>& v, int j) -> const TracePoint& {
        return v[static_cast<std::size_t>(j)];
    };
    const auto hasValue = [&](int j) { return j >= 0 && j < n && at(heights, j).yOut != 0; };
    const auto segment = [&](double x1, double y1, double x2, double y2) {
        surface_.line(x1, y1, x2, y2, colour);
    };
    if (!hasValue(i)) return;

    if (i == n - 1 && i >= 1) {
        if (hasValue(n - 2))
            segment(at(x, n - 2).xCenter, at(heights, n - 2).yOut, at(x, n - 1).xRight,
                    at(heights, n - 1).yIn);
    } else if (i == 0) {
        if (hasValue(1))
            segment(at(x, 0).xLeft, at(heights, 0).yIn, at(x, 1).xCenter, at(heights, 1).yIn);
    } else {
        // From the previous point; the first point is plotted at the left edge of its column.
        const double fromX = i == 1 ? at(x, 0).xLeft : at(x, i - 1).xCenter;
        if (hasValue(i - 1))
            segment(fromX, at(heights, i - 1).yOut, at(x, i).xCenter, at(heights, i).yIn);
        // To the next one, unless that is the last point, which draws its own segment.
        if (i != n - 2 && hasValue(i + 1))
            segment(at(x, i).xCenter, at(heights, i).yIn, at(x, i + 1).xCenter,
                    at(heights, i + 1).yIn);
    }
}

void Display::drawTrace() {
    const auto& s = state_.settings;
    eraseLimit();
    int n = usablePointCount(state_);
    for (int i = 0; i < n; ++i) drawTracePoint(n, i, state_.previousTrace, s.backgroundColor);
    const int shown = std::min(n, static_cast<int>(compareShown_.size()));
    for (int i = 0; i < shown; ++i) drawTracePoint(shown, i, compareShown_, s.backgroundColor);

    const int divisions = gridDivisions(s.numberOfGradiants);
    for (int i = 0; i <= divisions; ++i) drawGridLines(divisions, i);

    n = usablePointCount(state_);
    compareShown_.assign(static_cast<std::size_t>(std::min<std::size_t>(static_cast<std::size_t>(n),
                                                                        compareLevels_.size())),
                         TracePoint{});
    for (std::size_t i = 0; i < compareShown_.size(); ++i) {
        if (std::isnan(compareLevels_[i])) continue;
        const std::int32_t y =
            levelToY(s, levelOnGraph(s, compareLevels_[i]), surface_.scaleHeight());
        compareShown_[i].yIn = compareShown_[i].yOut = y;
    }
    const int compared = static_cast<int>(compareShown_.size());
    for (int i = 0; i < compared; ++i) drawTracePoint(compared, i, compareShown_, kCompareColour);
    for (int i = 0; i < n; ++i) drawTracePoint(n, i, state_.trace, s.graphColor);
    drawLimit();
}

void Display::setLimit(std::optional<Limit> limit, Colour colour) {
    limit_ = std::move(limit);
    limitColour_ = colour;
}

void Display::eraseLimit() {
    const Colour background = state_.settings.backgroundColor;
    for (std::size_t i = 1; i < limitShownY_.size() && i < state_.trace.size(); ++i)
        surface_.line(state_.trace[i - 1].xCenter, limitShownY_[i - 1], state_.trace[i].xCenter,
                      limitShownY_[i], background);
    for (const auto& [x, y] : marksShown_)
        surface_.filledBox(x - kLimitMarkTwips, y - kLimitMarkTwips, x + kLimitMarkTwips,
                           y + kLimitMarkTwips, background);
    for (const auto& [left, top, right, bottom] : barsShown_)
        surface_.filledBox(left, top, right, bottom, background);
    limitShownY_.clear();
    marksShown_.clear();
    barsShown_.clear();
}

void Display::drawLimit() {
    const auto& s = state_.settings;
    state_.texts.limitCheck.clear();
    if (!limit_) return;

    const int n = usablePointCount(state_);
    std::vector<double> levels(static_cast<std::size_t>(n), std::nan(""));
    for (int i = 0; i < n; ++i) {
        const TracePoint& p = state_.trace[static_cast<std::size_t>(i)];
        if (p.yOut != 0) levels[static_cast<std::size_t>(i)] = p.amplitudeDb;
        // Within the graph: the scale mirrors levels above its top.
        const double db = std::clamp(limit_->at(pointFrequency(s, i)),
                                     double{s.amplitude} - kLevelSpanDb, double{s.amplitude});
        limitShownY_.push_back(levelToY(s, db, static_cast<float>(height())));
        if (i > 0)
            surface_.line(state_.trace[static_cast<std::size_t>(i) - 1].xCenter,
                          limitShownY_[static_cast<std::size_t>(i) - 1], p.xCenter,
                          limitShownY_.back(), limitColour_);
    }
    const LimitCheck check = checkSweep(*limit_, s, levels);
    for (int i : check.above) {
        const TracePoint& p = state_.trace[static_cast<std::size_t>(i)];
        marksShown_.emplace_back(p.xCenter, p.yIn);
        surface_.filledBox(p.xCenter - kLimitMarkTwips, p.yIn - kLimitMarkTwips,
                           p.xCenter + kLimitMarkTwips, p.yIn + kLimitMarkTwips, limitColour_);
    }
    state_.texts.limitCheck = checkText(check, s);
    if (!occupancy_) return;
    const std::vector<double> shares = occupancy_();
    const double bottom = height() - s.graphBottom;
    for (std::size_t i = 0; i < shares.size() && i < static_cast<std::size_t>(n); ++i) {
        if (shares[i] <= 0) continue;
        const TracePoint& p = state_.trace[i];
        barsShown_.push_back(
            {double(p.xLeft), bottom - shares[i] * kOccupancyBarTwips, double(p.xRight), bottom});
        const auto& [left, top, right, low] = barsShown_.back();
        surface_.filledBox(left, top, right, low, limitColour_);
    }
}

void Display::printReadoutRow(ReadoutRow row, double x, double y, std::string text) {
    std::string& shown = state_.texts.shownIn(row);
    surface_.setCurrentX(x);
    surface_.setCurrentY(y);
    surface_.setForeColor(state_.settings.backgroundColor);
    surface_.print(shown);
    surface_.setCurrentX(x);
    surface_.setCurrentY(y);
    surface_.setForeColor(state_.settings.messageColor);
    surface_.print(text);
    shown = std::move(text);
}

void Display::drawReadouts() {
    const auto& s = state_.settings;
    auto& t = state_.texts;
    const double left = s.graphLeft + kReadoutIndent;
    // The right column starts a fixed distance left of the plot's right edge.
    const float right =
        surface_.scaleWidth() - static_cast<float>(s.graphRight) - kRightColumnOffset;
    const double top = s.graphTop;
    const auto y = [top](int r) { return top + kReadoutRowOffsets[static_cast<std::size_t>(r)]; };

    printReadoutRow(ReadoutRow::SweepTime, left, y(0), sweepTimeRowText(state_));
    printReadoutRow(ReadoutRow::MarkerLine1, left, y(1), t.markerLine1);
    printReadoutRow(ReadoutRow::MarkerLine2, left, y(2), t.markerLine2);
    printReadoutRow(ReadoutRow::CenterFrequency, right, y(0),
                    "Center Frequency (MHz): " + singleText(s.centerFrequency));
    printReadoutRow(ReadoutRow::Span, right, y(1), "Span (MHz): " + singleText(s.span));
    printReadoutRow(ReadoutRow::Amplitude, right, y(2),
                    "Amplitude (dB): " + singleText(s.amplitude));
    printReadoutRow(
        ReadoutRow::LimitCheck, left, top + kLimitRowOffset,
        t.alarm.empty() || t.limitCheck.empty() ? t.limitCheck : t.limitCheck + "  " + t.alarm);
    if (!t.commMessage.empty()) {
        // The radio's report keeps what this row shows.
        printCommFailure(s.backgroundColor, t.shownCommMessage);
        printCommFailure(s.messageColor, t.commMessage);
        t.shownCommMessage = t.commMessage;
    }
}

void Display::eraseCommFailure(std::string_view shown) {
    printCommFailure(state_.settings.backgroundColor, shown);
}

void Display::showCommFailure(std::string_view message) {
    printCommFailure(state_.settings.messageColor, message);
}

void Display::printCommFailure(Colour colour, std::string_view text) {
    const auto& s = state_.settings;
    surface_.setCurrentX(s.graphLeft + 50);
    surface_.setCurrentY(s.graphTop + 650);
    surface_.setForeColor(colour);
    surface_.print(text);
}

void Display::drawMarkerSymbol(double x, double y, Colour colour) {
    for (const auto& seg : markerSymbolSegments(x, y))
        surface_.line(seg.x1, seg.y1, seg.x2, seg.y2, colour);
}

void Display::drawMarkers() {
    const auto& s = state_.settings;
    auto& m = state_.markers;
    const int n = usablePointCount(state_);
    // A marker index outside the trace (only possible with no points) has no symbol and
    // reads as level 0.
    const auto point = [&](int i) -> const TracePoint* {
        const int index = m.marker[static_cast<std::size_t>(i)];
        return index >= 0 && index < n ? &state_.trace[static_cast<std::size_t>(index)] : nullptr;
    };

    const int last = m.markerDelta ? 1 : 0;
    for (int i = 0; i <= last; ++i) {
        const auto k = static_cast<std::size_t>(i);
        drawMarkerSymbol(m.glyphX[k], m.glyphY[k], s.backgroundColor);
        if (const TracePoint* p = point(i)) {
            drawMarkerSymbol(p->xCenter, p->yOut, s.markerColor[k]);
            m.glyphX[k] = p->xCenter;
            m.glyphY[k] = p->yOut;
        }
    }

    const auto level = [&](int i) {
        const TracePoint* p = point(i);
        return p ? p->amplitudeDb : 0.0;
    };
    auto& t = state_.texts;
    const double f1 = pointFrequency(s, m.marker[0]);
    if (!m.markerDelta) {
        t.markerLine1 = "Frequency (MHz): " + markerValueText(f1);
        t.markerLine2 = "Amplitude (dB): " + markerValueText(level(0));
    } else {
        const double f2 = pointFrequency(s, m.marker[1]);
        t.markerLine1 = "Frequency Delta (MHz): " + markerValueText(f2 - f1);
        t.markerLine2 = "Amplitude Delta (dB): " + markerValueText(level(1) - level(0));
    }
}

}  // namespace kv
