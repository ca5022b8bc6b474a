#include <QtTest>
#include <functional>
#include <set>
#include <utility>

#include "default_settings.h"
#include "display.h"
#include "image_surface.h"
#include "spectrum_model.h"

using namespace kv;

namespace {

using Pixel = std::pair<int, int>;

// The default window: 717 x 582 pixels at 96 DPI is 10755 x 8730 twips.
struct Screen {
    Screen() {
        surface.resize(717, 582);
        state.settings.graphColor = rgbColour(255, 255, 0);  // unlike every other colour
        layoutTracePoints(state, surface);
        display.layoutLegend();
    }
    QRgb rgb(Colour c) const { return ImageSurface::toQColor(c).rgb(); }
    QRgb at(int x, int y) const { return surface.image().pixel(x, y); }
    // Device pixels strictly inside the plot box.
    QRect interior() const {
        const auto& s = state.settings;
        return QRect(QPoint(surface.toDevice(s.graphLeft) + 1, surface.toDevice(s.graphTop) + 1),
                     QPoint(surface.toDevice(surface.scaleWidth() - s.graphRight) - 1,
                            surface.toDevice(surface.scaleHeight() - s.graphBottom) - 1));
    }
    std::set<Pixel> pixelsIn(const QRect& area, Colour colour) const {
        std::set<Pixel> out;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                if (at(x, y) == rgb(colour)) out.insert({x, y});
        return out;
    }
    void setLevels(const std::function<double(int)>& level) {
        for (int i = 0; i < state.settings.numberOfPoints; ++i) {
            auto& p = state.trace[static_cast<std::size_t>(i)];
            p.amplitudeDb = level(i);
            p.yOut = p.yIn = levelToY(state.settings, level(i), surface.scaleHeight());
        }
    }
    // What the measurement does before storing new levels.
    void keepAsPrevious() {
        for (std::size_t i = 0; i < state.trace.size(); ++i) {
            state.previousTrace[i].yOut = state.trace[i].yOut;
            state.previousTrace[i].yIn = state.trace[i].yIn;
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

class DisplayPixelsTest : public QObject {
    Q_OBJECT
  private slots:
    void plotBoxHoldsGridOnly();
    void replacedTraceLeavesNoPixel();
    void changedReadoutLeavesNoPixel();
};

void DisplayPixelsTest::plotBoxHoldsGridOnly() {
    Screen screen;
    screen.display.drawScreen(true);
    const auto& s = screen.state.settings;
    const QRect inside = screen.interior();
    QCOMPARE(inside, QRect(QPoint(34, 34), QPoint(683, 501)));
    std::set<int> gridX;
    std::set<int> gridY;
    for (int i = 0; i <= 10; ++i) {
        gridX.insert(screen.surface.toDevice(500 + 975.5 * i));
        gridY.insert(screen.surface.toDevice(500 + 703.0 * i));
    }
    // The readouts of the right column are printed inside the plot.
    const int textBottom = screen.surface.toDevice(950 + screen.surface.textHeight("X"));
    const QRect readouts(QPoint(screen.surface.toDevice(7755) - 2, screen.surface.toDevice(550)),
                         QPoint(inside.right(), textBottom));
    int gridPixels = 0;
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            const bool onGrid = gridX.count(x) || gridY.count(y);
            const QRgb expected = screen.rgb(onGrid ? s.gridColor : s.backgroundColor);
            const QRgb actual = screen.at(x, y);
            if (readouts.contains(x, y)) {
                QVERIFY(actual == expected || actual == screen.rgb(s.messageColor));
                continue;
            }
            if (actual != expected)
                QFAIL(qPrintable(QString("pixel (%1,%2) is %3").arg(x).arg(y).arg(actual, 0, 16)));
            gridPixels += onGrid;
        }
    }
    QVERIFY(gridPixels > 5000);
    QVERIFY(!screen.pixelsIn(readouts, s.messageColor).empty());
}

// Erasing the previous segments and redrawing the grid leaves the same picture inside the
// plot as drawing the new trace on a fresh screen.
void DisplayPixelsTest::replacedTraceLeavesNoPixel() {
    Screen replaced;
    replaced.setLevels(firstLevels);
    replaced.display.drawScreen(true);
    const auto& s = replaced.state.settings;
    const auto firstTrace = replaced.pixelsIn(replaced.interior(), s.graphColor);
    replaced.keepAsPrevious();
    replaced.setLevels(secondLevels);
    replaced.display.drawTrace();

    Screen fresh;
    fresh.display.drawScreen(true);
    fresh.setLevels(secondLevels);
    fresh.display.drawTrace();

    // Left out: the readout lines and the marker drawn on the first trace, which the erase
    // cuts into by design.
    const int textBottom = fresh.surface.toDevice(950 + fresh.surface.textHeight("X"));
    const QRect readouts(QPoint(0, 0), QPoint(716, textBottom));
    const auto& first = replaced.state.trace[0];
    const int markerX = replaced.surface.toDevice(first.xCenter);
    const int markerY = replaced.surface.toDevice(levelToY(s, firstLevels(0), 8730));
    const QRect marker(QPoint(markerX - 5, markerY - 15), QPoint(markerX + 5, markerY + 1));

    const QRect inside = fresh.interior();
    const auto secondTrace = fresh.pixelsIn(inside, s.graphColor);
    int oldOnly = 0;
    for (const auto& p : firstTrace) oldOnly += !secondTrace.count(p);
    QVERIFY2(oldOnly > 200, "the two traces should differ in many pixels");
    QCOMPARE(replaced.pixelsIn(inside, s.graphColor), secondTrace);
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            if (!readouts.contains(x, y) && !marker.contains(x, y) &&
                replaced.at(x, y) != fresh.at(x, y))
                QFAIL(qPrintable(QString("pixel (%1,%2) differs").arg(x).arg(y)));
}

void DisplayPixelsTest::changedReadoutLeavesNoPixel() {
    const std::string before = "Sweep Time (ms): 1234";
    const std::string after = "Sweep Time (ms): 87";

    Screen changed;
    changed.state.texts.sweepTimeText = before;
    changed.display.drawScreen(true);
    changed.state.texts.previousSweepTimeText = before;
    changed.state.texts.sweepTimeText = after;
    const auto& s = changed.state.settings;
    // Line 1 only: below it starts the marker line, right of it the settings column.
    const QRect line1(
        QPoint(changed.interior().left(), changed.surface.toDevice(550)),
        QPoint(changed.surface.toDevice(7755) - 3, changed.surface.toDevice(750) - 1));
    const auto beforePixels = changed.pixelsIn(line1, s.messageColor);
    changed.display.drawReadouts();

    Screen fresh;
    fresh.state.texts.sweepTimeText = after;
    fresh.display.drawScreen(true);
    const auto afterPixels = fresh.pixelsIn(line1, s.messageColor);

    QVERIFY(beforePixels.size() > afterPixels.size());
    QVERIFY(!afterPixels.empty());
    QCOMPARE(changed.pixelsIn(line1, s.messageColor), afterPixels);
}

QTEST_MAIN(DisplayPixelsTest)
#include "test_display_pixels.moc"
