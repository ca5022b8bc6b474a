// The display's pixels: erasing by redrawing in the background colour leaves no trace, marker
// or readout pixel behind. Also where the readouts go, settings at their limits, number texts.
#include <QtTest>
#include <cmath>
#include <functional>
#include <set>

#include "default_state.h"
#include "display.h"
#include "image_surface.h"
#include "number_format.h"
#include "qt_colour.h"
#include "recording_surface.h"
#include "spectrum_model.h"

using namespace kv;

namespace {

using Pixels = std::set<std::pair<int, int>>;

// The default window, 717 x 582 pixels at 96 DPI, every colour distinct.
struct Screen {
    Screen() {
        surface.resize(717, 582);
        auto& s = state.settings;
        s.graphColor = rgbColour(255, 255, 0);
        s.messageColor = rgbColour(255, 0, 255);
        s.markerColor = {rgbColour(0, 255, 255), rgbColour(255, 128, 0)};
        layoutTracePoints(state, surface.scaleWidth());
        display.layoutLegend();
    }
    // Device pixels strictly inside the plot box.
    QRect interior() const {
        const auto& s = state.settings;
        return QRect(QPoint(surface.toDevice(s.graphLeft) + 1, surface.toDevice(s.graphTop) + 1),
                     QPoint(surface.toDevice(surface.scaleWidth() - s.graphRight) - 1,
                            surface.toDevice(surface.scaleHeight() - s.graphBottom) - 1));
    }
    Pixels pixelsIn(const QRect& area, Colour colour) const {
        Pixels out;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                if (surface.image().pixel(x, y) == toQColor(colour).rgb()) out.insert({x, y});
        return out;
    }
    // Stores levels as a measurement does, the old positions kept as the previous trace.
    void setLevels(const std::function<double(int)>& level) {
        for (std::size_t i = 0; i < state.trace.size(); ++i) {
            auto& p = state.trace[i];
            state.previousTrace[i].yOut = p.yOut;
            state.previousTrace[i].yIn = p.yIn;
            p.amplitudeDb = level(int(i));
            p.yOut = p.yIn = levelToY(state.settings, p.amplitudeDb, surface.scaleHeight());
        }
    }

    SharedState state = test::defaultState();
    ImageSurface surface{96, 1};
    kv::Display display{state, surface};
};

const auto firstLevels = [](int i) { return -50.0 - (i * 7) % 40; };
const auto secondLevels = [](int i) { return -95.0 + (i * 13) % 30; };

}  // namespace

class DisplayTest : public QObject {
    Q_OBJECT
  private slots:
    // A pass drawn over the previous one (new levels, markers moved, every readout changed)
    // leaves the same trace, marker and text pixels as the pass drawn on a fresh screen.
    void redrawnPassLeavesNoPixel() {
        Screen replaced;
        auto& m = replaced.state.markers;
        m.markerDelta = true;
        m.marker = {4, 30};
        replaced.state.texts.sweepTimeText = "Sweep Time (mS): 1234";
        replaced.setLevels(firstLevels);
        replaced.display.drawScreen(true);
        replaced.display.drawMarkers();
        replaced.display.drawReadouts();
        auto& s = replaced.state.settings;
        const QRect inside = replaced.interior();
        const Pixels firstTrace = replaced.pixelsIn(inside, s.graphColor);
        QRegion firstMarkers;  // which the erase of the markers cuts into by design
        for (std::size_t k : {0u, 1u}) {
            const TracePoint& p = replaced.state.trace[std::size_t(m.marker[k])];
            const QPoint tip(replaced.surface.toDevice(p.xCenter),
                             replaced.surface.toDevice(p.yOut));
            firstMarkers += QRect(tip - QPoint(4, 14), tip + QPoint(4, 0));
            const Pixels symbol = replaced.pixelsIn(inside, s.markerColor[k]);
            QVERIFY(symbol.size() > 10);
            for (const auto& [x, y] : symbol) QVERIFY(firstMarkers.contains(QPoint(x, y)));
        }
        s.centerFrequency = 2441.5f;
        s.span = 83.5f;
        s.amplitude = -50;
        replaced.state.texts.previousSweepTimeText = replaced.state.texts.sweepTimeText;
        replaced.state.texts.sweepTimeText = "Sweep Time (mS): 87";
        replaced.state.texts.commMessage = "Communication failure.";
        m.marker = {20, 40};
        Screen fresh;
        fresh.state.settings = s;
        fresh.state.markers = m;
        fresh.state.texts.sweepTimeText = "Sweep Time (mS): 87";
        fresh.state.texts.commMessage = "Communication failure.";
        fresh.display.drawScreen(true);
        for (Screen* screen : {&replaced, &fresh}) {
            screen->setLevels(secondLevels);
            screen->display.drawTrace();
            screen->display.drawMarkers();
            screen->display.drawReadouts();
        }

        const int readoutsEnd = fresh.surface.toDevice(1300);
        const QRect plot(QPoint(inside.left(), readoutsEnd), inside.bottomRight());
        const auto kept = [&](const Screen& screen) {
            Pixels out;
            for (const auto& [x, y] : screen.pixelsIn(plot, s.graphColor))
                if (!firstMarkers.contains(QPoint(x, y))) out.insert({x, y});
            return out;
        };
        const Pixels secondTrace = kept(fresh);
        int oldOnly = 0;
        for (const auto& p : firstTrace) oldOnly += !secondTrace.count(p);
        QVERIFY2(oldOnly > 200, "the two traces should differ in many pixels");
        QCOMPARE(kept(replaced), secondTrace);
        for (Colour c : s.markerColor)
            QCOMPARE(replaced.pixelsIn(plot, c), fresh.pixelsIn(plot, c));
        const QRect readouts(inside.topLeft(), QPoint(inside.right(), readoutsEnd));
        const Pixels text = fresh.pixelsIn(readouts, s.messageColor);
        QVERIFY(text.size() > 500);
        QCOMPARE(replaced.pixelsIn(readouts, s.messageColor), text);
    }

    // Where the readouts and the legend go, on the recorded drawing calls.
    void readoutRowsAndLegend() {
        SharedState state = test::defaultState();
        state.texts.commMessage = "Communication failure.";
        RecordingSurface surface(10755, 8730);
        kv::Display display(state, surface);
        display.drawScreen(true);
        QStringList rows;  // x,y of the readouts inside the plot, left of the labels
        int legend = 0;
        for (const auto& c : surface.callsOf(RecordingSurface::Op::Print)) {
            if (c.x1 >= 500 && c.y1 < 7530) rows << QString("%1,%2").arg(c.x1).arg(c.y1);
            legend += c.y1 > 7930;
        }
        rows.removeDuplicates();
        QCOMPARE(rows.join(' '), "550,550 550,750 550,950 7755,550 7755,750 7755,950 550,1150");
        QCOMPARE(legend, 9);
    }

    // Settings at their limits draw, and end, without an overflow (the sanitizer pass checks
    // the conversions): no or negative divisions, the widest margins, a window narrower than
    // the margins.
    void settingsAtTheirLimits() {
        for (const auto& [divisions, margin, width] :
             {std::tuple{0, 500, 717}, {-5, 500, 717}, {10, 32767, 717}, {10, 500, 20}}) {
            SharedState state = test::defaultState();
            auto& s = state.settings;
            s.numberOfGradiants = static_cast<std::int16_t>(divisions);
            s.graphLeft = s.graphRight = s.graphTop = static_cast<std::int16_t>(margin);
            RecordingSurface surface(width * 15, 8730);
            kv::Display display(state, surface);
            display.layoutLegend();
            layoutTracePoints(state, surface.scaleWidth());
            display.drawScreen(true);
            for (const auto& c : surface.calls) QVERIFY(std::isfinite(c.x1 + c.y1 + c.x2 + c.y2));
        }
    }

    // One decimal, ties to even, no exponent, no minus zero.
    void numberTexts() {
        for (const auto& [value, label] : {std::pair{double(904.6f), "904.6"},
                                           {-63.333333, "-63.3"},
                                           {0.25, "0.2"},
                                           {-0.25, "-0.2"},
                                           {-0.04, "0"},
                                           {1e20, "100000000000000000000"}}) {
            QCOMPARE(labelText(value), std::string(label));
            QCOMPARE(markerValueText(value), std::string(label));
        }
    }
};

QTEST_MAIN(DisplayTest)
#include "test_display.moc"
