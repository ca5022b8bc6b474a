// SPDX-License-Identifier: GPL-3.0-or-later
#include "waterfall_map.h"

#include <algorithm>
#include <cmath>

#include "number_format.h"
#include "screen_geometry.h"
#include "spectrum_model.h"

namespace kv {

namespace {

// Viridis at nine even steps; the shades between are interpolated.
constexpr std::array<Colour, 9> kViridis = {
    rgbColour(68, 1, 84),    rgbColour(71, 44, 122),  rgbColour(59, 82, 139),
    rgbColour(44, 114, 142), rgbColour(33, 145, 140), rgbColour(40, 174, 128),
    rgbColour(94, 201, 98),  rgbColour(173, 220, 48), rgbColour(253, 231, 37),
};

// Twips above and below the scale's bar, and the bar's height.
constexpr double kScaleGap = 45;
constexpr double kScaleBarHeight = 90;

}  // namespace

int waterfallShade(double levelDb, float amplitude) {
    const double bottom = static_cast<double>(amplitude) - kLevelSpanDb;
    const double share = (levelDb - bottom) / kLevelSpanDb;
    if (!(share > 0)) return 0;  // NaN too
    return static_cast<int>(std::min(share * kWaterfallShades, kWaterfallShades - 1.0));
}

Colour waterfallShadeColour(int shade) {
    const double at = std::clamp(shade, 0, kWaterfallShades - 1) * (kViridis.size() - 1.0) /
                      (kWaterfallShades - 1);
    const auto low = std::min(static_cast<std::size_t>(at), kViridis.size() - 2);
    const double t = at - static_cast<double>(low);
    const auto mix = [t](int a, int b) { return static_cast<int>(std::lround(a + (b - a) * t)); };
    const Colour a = kViridis[low];
    const Colour b = kViridis[low + 1];
    return rgbColour(mix(redOf(a), redOf(b)), mix(greenOf(a), greenOf(b)),
                     mix(blueOf(a), blueOf(b)));
}

std::array<std::uint32_t, kWaterfallShades> waterfallPalette() {
    std::array<std::uint32_t, kWaterfallShades> palette{};
    for (int k = 0; k < kWaterfallShades; ++k)
        palette[static_cast<std::size_t>(k)] = opaquePixel(waterfallShadeColour(k));
    return palette;
}

std::vector<PixelRun> pointPixelRuns(std::span<const TracePoint> points,
                                     const std::function<int(double)>& toDevice) {
    std::vector<PixelRun> runs(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        const int first = toDevice(points[i].xLeft);
        const int end =
            i + 1 < points.size() ? toDevice(points[i + 1].xLeft) : toDevice(points[i].xRight) + 1;
        runs[i] = {first, std::max(first, end)};
    }
    return runs;
}

void paintWaterfallRow(std::span<const float> levelsDb, std::span<const PixelRun> runs,
                       float amplitude, const std::array<std::uint32_t, kWaterfallShades>& palette,
                       std::uint32_t noLevel, std::uint32_t margin, std::span<std::uint32_t> row) {
    std::fill(row.begin(), row.end(), margin);
    const int width = static_cast<int>(row.size());
    const std::size_t n = std::min(levelsDb.size(), runs.size());
    for (std::size_t i = 0; i < n; ++i) {
        const float level = levelsDb[i];
        const std::uint32_t pixel =
            std::isnan(level) ? noLevel
                              : palette[static_cast<std::size_t>(waterfallShade(level, amplitude))];
        const int first = std::clamp(runs[i].first, 0, width);
        const int end = std::clamp(runs[i].end, first, width);
        std::fill(row.begin() + first, row.begin() + end, pixel);
    }
}

bool takesTimeLabel(std::optional<TimeLabel>& last, std::int64_t row, std::int64_t seconds,
                    int spacing) {
    if (last && (seconds <= last->seconds || row - last->row < spacing)) return false;
    last = TimeLabel{row, seconds};
    return true;
}

std::vector<std::size_t> timeLabelledRows(std::span<const std::int64_t> seconds, int spacing) {
    std::vector<std::size_t> labelled;
    std::optional<TimeLabel> last;
    for (std::size_t row = 0; row < seconds.size(); ++row)
        if (takesTimeLabel(last, static_cast<std::int64_t>(row), seconds[row], spacing))
            labelled.push_back(row);
    return labelled;
}

std::string rowTimeText(const LineTime& begun) {
    std::string text;
    for (const int part : {begun.hour, begun.minute, begun.second}) {
        if (!text.empty()) text += ':';
        text += static_cast<char>('0' + part / 10 % 10);
        text += static_cast<char>('0' + part % 10);
    }
    return text;
}

double waterfallScaleHeight(double textHeight, bool withFrequencies) {
    const double frequencies = withFrequencies ? kScaleGap / 2 + textHeight : 0;
    return frequencies + kScaleGap + kScaleBarHeight + kScaleGap / 2 + textHeight + kScaleGap / 2;
}

void drawWaterfallScale(const SettingValues& s, Surface& band, bool withFrequencies) {
    band.clear();
    const double width = band.scaleWidth();
    const double left = s.graphLeft;
    const double right = width - s.graphRight;
    band.setForeColor(s.labelColor);
    band.setFont(kLabelFontName, kLabelFontPoints, false);
    const int divisions = gridDivisions(s.numberOfGradiants);
    double top = 0;
    if (withFrequencies) {
        top = kScaleGap / 2 + band.textHeight("0");
        for (int i = 0; i <= divisions; ++i) {
            const std::string text =
                labelText(frequencyLabelValue(s.centerFrequency, s.span, divisions, i));
            const double x = gridLineX(width, s.graphLeft, s.graphRight, divisions, i);
            band.printAt(x - band.textWidth(text) / 2, kScaleGap / 2, text);
            // The unit once, after the highest frequency.
            if (i == divisions)
                band.printAt(x + band.textWidth(text) / 2 + kScaleGap, kScaleGap / 2, "MHz");
        }
    }
    const double barBottom = top + kScaleGap + kScaleBarHeight;
    for (int k = 0; k < kWaterfallShades; ++k)
        band.filledBox(left + (right - left) * k / kWaterfallShades, top + kScaleGap,
                       left + (right - left) * (k + 1) / kWaterfallShades, barBottom,
                       waterfallShadeColour(k));
    for (int i = 0; i <= divisions; ++i) {
        // Left to right from the graph's bottom level to its top.
        const std::string text =
            labelText(amplitudeLabelValue(s.amplitude, divisions, divisions - i));
        const double x = gridLineX(width, s.graphLeft, s.graphRight, divisions, i);
        band.printAt(x - band.textWidth(text) / 2, barBottom + kScaleGap / 2, text);
    }
}

}  // namespace kv
