// The display's pixels: the plot holds the grid only, and erasing by redrawing in the background
// colour leaves no trace, readout or marker pixel behind. Also the number texts and settings at
// their limits.
#include <QtTest>
#include <cmath>
#include <functional>
#include <set>

#include "default_settings.h"
#include "display.h"
#include "image_surface.h"
#include "number_format.h"
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
        layoutTracePoints(state, surface);
        display.layoutLegend();
    }
    QRgb at(int x, int y) const { return surface.image().pixel(x, y); }
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
                if (at(x, y) == ImageSurface::toQColor(colour).rgb()) out.insert({x, y});
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

double firstLevels(int i) {
    return -50 - (i * 7) % 40;
}
double secondLevels(int i) {
    return -95 + (i * 13) % 30;
}

}  // namespace

class DisplayTest : public QObject {
    Q_OBJECT
  private slots:
    void plotBoxHoldsGridAndReadoutsOnly() {
        Screen screen;
        screen.display.drawScreen(true);
        const auto& s = screen.state.settings;
        const QRect inside = screen.interior();
        std::set<int> gridX;
        std::set<int> gridY;
        for (int i = 0; i <= 10; ++i) {
            gridX.insert(screen.surface.toDevice(500 + 975.5 * i));
            gridY.insert(screen.surface.toDevice(500 + 703.0 * i));
        }
        // The readouts are printed inside the plot, at its top.
        const QRect readouts(QPoint(inside.left(), inside.top()),
                             QPoint(inside.right(), screen.surface.toDevice(1150)));
        int gridPixels = 0;
        for (int y = inside.top(); y <= inside.bottom(); ++y) {
            for (int x = inside.left(); x <= inside.right(); ++x) {
                const bool onGrid = gridX.count(x) || gridY.count(y);
                const QRgb expected =
                    ImageSurface::toQColor(onGrid ? s.gridColor : s.backgroundColor).rgb();
                if (screen.at(x, y) == expected) {
                    gridPixels += onGrid;
                } else if (!readouts.contains(x, y) ||
                           screen.at(x, y) != ImageSurface::toQColor(s.messageColor).rgb()) {
                    QFAIL(qPrintable(
                        QString("pixel (%1,%2) is %3").arg(x).arg(y).arg(screen.at(x, y), 0, 16)));
                }
            }
        }
        QVERIFY(gridPixels > 5000);
        QVERIFY(!screen.pixelsIn(readouts, s.messageColor).empty());
    }

    // Erasing the previous segments and redrawing the grid leaves the same picture inside the
    // plot as drawing the new trace on a fresh screen; so does moving the markers.
    void replacedTraceAndMarkersLeaveNoPixel() {
        Screen replaced;
        auto& m = replaced.state.markers;
        m.markerDelta = true;
        m.marker = {4, 30};
        replaced.setLevels(firstLevels);
        replaced.display.drawScreen(true);
        const auto& s = replaced.state.settings;
        const QRect inside = replaced.interior();
        const Pixels firstTrace = replaced.pixelsIn(inside, s.graphColor);
        QRegion firstMarkers;
        for (std::size_t k : {0u, 1u}) {
            const TracePoint& p = replaced.state.trace[std::size_t(m.marker[k])];
            const QPoint tip(replaced.surface.toDevice(p.xCenter),
                             replaced.surface.toDevice(p.yOut));
            firstMarkers += QRect(tip - QPoint(4, 14), tip + QPoint(4, 0));
            const Pixels symbol = replaced.pixelsIn(inside, s.markerColor[k]);
            QVERIFY(symbol.size() > 10);
            for (const auto& [x, y] : symbol) QVERIFY(firstMarkers.contains(QPoint(x, y)));
        }
        replaced.setLevels(secondLevels);
        m.marker = {20, 40};
        replaced.display.drawTrace();
        replaced.display.drawMarkers();

        Screen fresh;
        fresh.state.markers = m;
        fresh.display.drawScreen(true);
        fresh.setLevels(secondLevels);
        fresh.display.drawTrace();
        fresh.display.drawMarkers();

        // Left out: the readouts, and where the first markers were, which their erase cuts into
        // by design.
        const QRect plot(QPoint(inside.left(), fresh.surface.toDevice(1300)), inside.bottomRight());
        const auto kept = [&](const Screen& screen, Colour c) {
            Pixels out;
            for (const auto& [x, y] : screen.pixelsIn(plot, c))
                if (!firstMarkers.contains(QPoint(x, y))) out.insert({x, y});
            return out;
        };
        const Pixels secondTrace = kept(fresh, s.graphColor);
        int oldOnly = 0;
        for (const auto& p : firstTrace) oldOnly += !secondTrace.count(p);
        QVERIFY2(oldOnly > 200, "the two traces should differ in many pixels");
        QCOMPARE(kept(replaced, s.graphColor), secondTrace);
        for (Colour c : s.markerColor)
            QCOMPARE(replaced.pixelsIn(plot, c), fresh.pixelsIn(plot, c));
    }

    // Every readout changed at once, redrawn over the old: the same text pixels as a fresh screen.
    void changedReadoutsLeaveNoPixel() {
        Screen changed;
        changed.state.texts.sweepTimeText = "Sweep Time (mS): 1234";
        changed.display.drawScreen(true);
        changed.display.drawMarkers();
        changed.display.drawReadouts();
        auto& s = changed.state.settings;
        s.centerFrequency = 2441.5f;
        s.span = 83.5f;
        s.amplitude = -50;
        changed.state.markers.marker[0] = 10;
        changed.state.texts.previousSweepTimeText = changed.state.texts.sweepTimeText;
        changed.state.texts.sweepTimeText = "Sweep Time (mS): 87";
        changed.state.texts.commMessage = "Communication failure.";
        changed.display.drawMarkers();
        changed.display.drawReadouts();

        Screen fresh;
        fresh.state.settings = s;
        fresh.state.markers.marker[0] = 10;
        fresh.state.texts.sweepTimeText = "Sweep Time (mS): 87";
        fresh.state.texts.commMessage = "Communication failure.";
        fresh.display.drawScreen(true);
        fresh.display.drawMarkers();
        fresh.display.drawReadouts();
        const QRect readouts(fresh.interior().topLeft(),
                             QPoint(fresh.interior().right(), fresh.surface.toDevice(1300)));
        const Pixels text = fresh.pixelsIn(readouts, s.messageColor);
        QVERIFY(text.size() > 500);
        QCOMPARE(changed.pixelsIn(readouts, s.messageColor), text);
    }

    // Where the readouts and the legend go, on the recorded drawing calls.
    void readoutRowsAndLegend() {
        SharedState state = test::defaultState();
        state.texts.commMessage = "Communication failure.";
        RecordingSurface surface(10755, 8730);
        kv::Display display(state, surface);
        display.drawScreen(true);
        std::set<std::pair<double, double>> rows;
        int legend = 0;
        for (const auto& c : surface.callsOf(RecordingSurface::Op::Print)) {
            if (c.x1 >= 500 && c.y1 < 7530) rows.insert({c.x1, c.y1});
            legend += c.y1 > 7930;
        }
        QCOMPARE(rows, (std::set<std::pair<double, double>>{{550, 550},
                                                            {550, 750},
                                                            {550, 950},
                                                            {550, 1150},
                                                            {7755, 550},
                                                            {7755, 750},
                                                            {7755, 950}}));
        QCOMPARE(legend, 9);
    }

    // Settings at their limits draw, and end, without an overflow (the sanitizer pass checks
    // the conversions).
    void settingsAtTheirLimits_data() {
        QTest::addColumn<int>("divisions");
        QTest::addColumn<int>("margin");
        QTest::addColumn<int>("width");
        QTest::newRow("no divisions") << 0 << 500 << 717;
        QTest::newRow("negative divisions") << -5 << 500 << 717;
        QTest::newRow("widest margins") << 10 << 32767 << 717;
        QTest::newRow("window narrower than the margins") << 10 << 500 << 20;
    }
    void settingsAtTheirLimits() {
        QFETCH(int, divisions);
        QFETCH(int, margin);
        QFETCH(int, width);
        SharedState state = test::defaultState();
        state.settings.numberOfGradiants = static_cast<std::int16_t>(divisions);
        state.settings.graphLeft = state.settings.graphRight = state.settings.graphTop =
            static_cast<std::int16_t>(margin);
        RecordingSurface surface(width * 15, 8730);
        kv::Display display(state, surface);
        display.layoutLegend();
        layoutTracePoints(state, surface);
        display.drawScreen(true);
        QVERIFY(surface.calls.size() > 20);
        for (const auto& c : surface.calls)
            QVERIFY(std::isfinite(c.x1) && std::isfinite(c.y1) && std::isfinite(c.x2) &&
                    std::isfinite(c.y2));
    }

    // One decimal, ties to even, no exponent, no minus zero; settings in single precision.
    void numberTexts_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("setting");
        QTest::newRow("whole") << 902.0 << "902"
                               << "902";
        QTest::newRow("single 904.6") << double(904.6f) << "904.6"
                                      << "904.6";
        QTest::newRow("negative") << -63.333333 << "-63.3"
                                  << "-63.33333";
        QTest::newRow("tie to even down") << 0.25 << "0.2"
                                          << "0.25";
        QTest::newRow("tie to even up") << 0.75 << "0.8"
                                        << "0.75";
        QTest::newRow("negative tie") << -0.25 << "-0.2"
                                      << "-0.25";
        QTest::newRow("no minus zero") << -0.04 << "0"
                                       << "-0.04";
        QTest::newRow("rounds to whole") << 927.96 << "928"
                                         << "927.96";
        QTest::newRow("seven digits") << 2437.51 << "2437.5"
                                      << "2437.51";
        QTest::newRow("no exponent") << 1e20 << "100000000000000000000"
                                     << "";
    }
    void numberTexts() {
        QFETCH(double, value);
        QFETCH(QString, label);
        QFETCH(QString, setting);
        QCOMPARE(QString::fromStdString(labelText(value)), label);
        QCOMPARE(QString::fromStdString(markerValueText(value)), label);
        if (!setting.isEmpty())
            QCOMPARE(QString::fromStdString(settingValueText(float(value))), setting);
    }
};

QTEST_MAIN(DisplayTest)
#include "test_display.moc"
