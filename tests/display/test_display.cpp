// SPDX-License-Identifier: GPL-3.0-or-later
// The display's pixels (erasing leaves nothing behind; the surface draws as QPainter does),
// number texts.
#include <QPainter>
#include <QtTest>
#include <set>

#include "default_state.h"
#include "display.h"
#include "image_surface.h"
#include "number_format.h"
#include "qt_colour.h"
#include "spectrum_model.h"
#include "waterfall_map.h"

using namespace kv;

namespace {

using Pixels = std::set<std::pair<int, int>>;
constexpr Colour kBlack = rgbColour(0, 0, 0);
constexpr Colour kYellow = rgbColour(255, 255, 0);
constexpr Colour kBlue = rgbColour(0, 64, 128);

// The default window, 717 x 582 pixels at 96 DPI, every colour distinct.
struct Screen {
    Screen() {
        surface.resize(717, 582);
        auto& s = state.settings;
        s.graphColor = kYellow;
        s.messageColor = rgbColour(255, 0, 255);
        s.markerColor = {rgbColour(0, 255, 255), rgbColour(255, 128, 0)};
        layoutTracePoints(state, surface.scaleWidth());
        display.layoutLegend();
    }
    Pixels pixelsIn(const QRect& area, Colour colour, const QRegion& skipped = {}) const {
        Pixels out;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                if (surface.image().pixel(x, y) == toQColor(colour).rgb() &&
                    !skipped.contains(QPoint(x, y)))
                    out.insert({x, y});
        return out;
    }
    // Stores levels as a measurement does, the old positions kept as the previous trace.
    template <typename Level>
    void setLevels(Level level) {
        for (std::size_t i = 0; i < state.trace.size(); ++i) {
            auto& p = state.trace[i];
            state.previousTrace[i].yOut = p.yOut;
            state.previousTrace[i].yIn = p.yIn;
            p.amplitudeDb = level(int(i));
            p.yOut = p.yIn = levelToY(state.settings, p.amplitudeDb, surface.scaleHeight());
        }
    }
    void drawPass() {
        display.drawTrace();
        display.drawMarkers();
        display.drawReadouts();
    }

    SharedState state = test::defaultState();
    ImageSurface surface{96, 1};
    kv::Display display{state, surface};
};

}  // namespace

class DisplayTest : public QObject {
    Q_OBJECT
  private slots:
    // A pass drawn over the previous one (new levels, markers moved, every readout changed)
    // leaves the same trace, marker and text pixels as the pass drawn on a fresh screen.
    void redrawnPassLeavesNoPixel() {
        Screen replaced, fresh;
        auto& s = replaced.state.settings;
        auto& m = replaced.state.markers;
        auto& texts = replaced.state.texts;
        m.markerDelta = true;
        m.marker = {4, 30};
        texts.sweepTimeText = "Sweep Time (mS): 1234";
        replaced.setLevels([](int i) { return -50.0 - (i * 7) % 40; });
        replaced.display.drawScreen(true);
        replaced.drawPass();
        const ImageSurface& d = replaced.surface;  // inside the plot box
        const QRect inside(QPoint(d.toDevice(s.graphLeft) + 1, d.toDevice(s.graphTop) + 1),
                           QPoint(d.toDevice(d.scaleWidth() - s.graphRight) - 1,
                                  d.toDevice(d.scaleHeight() - s.graphBottom) - 1));
        QRegion firstMarkers;  // which the erase of the markers cuts into by design
        for (std::size_t k : {0u, 1u}) {
            const TracePoint& p = replaced.state.trace[std::size_t(m.marker[k])];
            const QPoint tip(d.toDevice(p.xCenter), d.toDevice(p.yOut));
            firstMarkers += QRect(tip - QPoint(4, 14), tip + QPoint(4, 0));
            const Pixels symbol = replaced.pixelsIn(inside, s.markerColor[k]);
            QVERIFY(symbol.size() > 10);
            for (const auto& [x, y] : symbol) QVERIFY(firstMarkers.contains(QPoint(x, y)));
        }
        s.centerFrequency = 2441.5f;
        s.span = 83.5f;
        s.amplitude = -50;
        texts.sweepTimeText = "Sweep Time (mS): 87";
        texts.commMessage = "Communication failure.";
        m.marker = {20, 40};
        fresh.state.settings = s;
        fresh.state.markers = m;
        fresh.state.texts.sweepTimeText = texts.sweepTimeText;
        fresh.state.texts.commMessage = texts.commMessage;
        fresh.display.drawScreen(true);
        for (Screen* screen : {&replaced, &fresh}) {
            screen->setLevels([](int i) { return -95.0 + (i * 13) % 30; });
            screen->drawPass();
        }

        const int readoutsEnd = d.toDevice(1300);
        const QRect plot(QPoint(inside.left(), readoutsEnd), inside.bottomRight());
        const Pixels secondTrace = fresh.pixelsIn(plot, s.graphColor, firstMarkers);
        QCOMPARE(replaced.pixelsIn(plot, s.graphColor, firstMarkers), secondTrace);
        for (Colour c : s.markerColor)
            QCOMPARE(replaced.pixelsIn(plot, c), fresh.pixelsIn(plot, c));
        // The grid the old trace crossed is whole again.
        QCOMPARE(replaced.pixelsIn(plot, s.gridColor, firstMarkers),
                 fresh.pixelsIn(plot, s.gridColor, firstMarkers));
        const QRect readouts(inside.topLeft(), QPoint(inside.right(), readoutsEnd));
        const Pixels text = fresh.pixelsIn(readouts, s.messageColor);
        QVERIFY(text.size() > 500);
        QCOMPARE(replaced.pixelsIn(readouts, s.messageColor), text);
    }

    // A level trace runs from the left edge of the first point's column to the right edge of
    // the last one's.
    void traceSpansItsColumns() {
        Screen screen;
        screen.setLevels([](int) { return -60.0; });
        screen.display.drawTrace();
        const auto& trace = screen.state.trace;
        const ImageSurface& d = screen.surface;
        const Pixels drawn = screen.pixelsIn(QRect(0, d.toDevice(trace[0].yOut), 717, 1),
                                             screen.state.settings.graphColor);
        QVERIFY(!drawn.empty());
        QCOMPARE(drawn.begin()->first, d.toDevice(trace.front().xLeft));
        QCOMPARE(drawn.rbegin()->first, d.toDevice(trace.back().xRight));
    }

    // A waterfall row is painted whole: margins in their colour whatever the row held before,
    // a point without a level in its own.
    void waterfallRow() {
        std::vector<std::uint32_t> row(10, 0xdeadbeef);
        const std::vector<PixelRun> runs = {{2, 5}, {5, 8}};
        const std::vector<float> levels = {-200, std::nanf("")};
        const auto palette = waterfallPalette();
        paintWaterfallRow(levels, runs, -10, palette, 1, 2, row);
        const std::uint32_t low = palette[0];
        QCOMPARE(row, (std::vector<std::uint32_t>{2, 2, low, low, low, 1, 1, 1, 2, 2}));
    }

    // The surface's shortcuts (one open painter, filled level lines, a repeated line skipped,
    // texts laid out once) change no pixel against QPainter.
    void matchesPlainQtDrawing_data() {
        QTest::addColumn<double>("dpr");
        for (double dpr : {1.0, 1.5, 2.0}) QTest::addRow("dpr %g", dpr) << dpr;
    }
    void matchesPlainQtDrawing() {
        QFETCH(double, dpr);
        // Moved to a screen of this density and grown, each with a painter open, before drawing.
        ImageSurface surface(96, 1);
        surface.resize(300, 200);
        surface.line(0, 0, 1500, 3000, kYellow);
        surface.setDevicePixelRatio(dpr);
        surface.line(0, 0, 1500, 3000, kYellow);
        surface.resize(717, 582);
        QImage expected = surface.image().copy();
        QPainter p(&expected);
        const auto box = [&] {
            surface.filledBox(0, 0, 10755, 8730, kBlack);
            p.fillRect(expected.rect(), toQColor(kBlack));
        };
        const auto line = [&](int x1, int y1, int x2, int y2, Colour c = kYellow) {
            surface.line(x1 * 15, y1 * 15, x2 * 15, y2 * 15, c);  // 15 twips a pixel at 96 DPI
            p.setPen(QPen(toQColor(c), 0));
            p.drawLine(x1, y1, x2, y2);
        };
        box();
        // Lines (at 96 DPI, as QPainter scales them otherwise) in every direction, off the
        // window, a point; repeated after a box and a clear.
        if (dpr == 1) {
            line(33, 100, 683, 100), line(683, 120, 33, 120), line(99, 501, 99, 33);
            line(-40, 300, 200, 300), line(300, 400, 300, 700), line(250, 250, 250, 250);
            line(140, 480, 153, 60), line(600, 200, 40, 260);
            line(100, 100, 400, 200), line(100, 100, 400, 200), box(), line(100, 100, 400, 200);
            line(100, 100, 400, 200, kBlue);
            surface.clear();
            p.fillRect(expected.rect(), surface.backColor());
            line(100, 100, 400, 200, kBlue);
        }
        // More distinct texts than the surface keeps laid out, some printed again later.
        p.setFont(ImageSurface::makeFont("MS Sans Serif", 8, false));
        const int ascent = QFontMetrics(p.font(), &expected).ascent();
        surface.setFont("MS Sans Serif", 8, false);
        surface.setForeColor(kYellow);
        p.setPen(toQColor(kYellow));
        for (int i = 0; i < 150; ++i) {
            const std::string text = "Sweep Time (mS): " + std::to_string((i % 100) * 37);
            const QPointF twips(45 + (i % 7) * 1500.5, 75 + (i % 31) * 270.3);
            surface.printAt(twips.x(), twips.y(), text);
            p.drawText(surface.toDevice(twips.x()), surface.toDevice(twips.y()) + ascent,
                       QString::fromStdString(text));
        }
        p.end();
        QCOMPARE(surface.image(), expected);
    }

    // At the least size the waterfall strip's scale, whose level labels stand in the grid's
    // columns, keeps them apart, also where the frequency labels are narrower.
    void leastSizeKeepsTheStripScaleApart() {
        Screen screen;
        auto& s = screen.state.settings;
        s.centerFrequency = 10;
        s.span = 0.1f;
        s.numberOfGradiants = 20;
        const double plot = screen.display.minimumClientSize().width - s.graphLeft - s.graphRight;
        const int divisions = gridDivisions(s.numberOfGradiants);
        for (int i = 0; i <= divisions; ++i)
            QVERIFY(plot / divisions >=
                    kTickLength + screen.surface.textWidth(
                                      labelText(amplitudeLabelValue(s.amplitude, divisions, i))));
    }

    // A waterfall time label shows a time later than the last label's, `spacing` rows above it.
    void timeLabels_data() {
        QTest::addColumn<QString>("seconds");  // of each row, oldest first
        QTest::addColumn<int>("spacing");
        QTest::addColumn<QString>("labelled");
        QTest::newRow("fast sweeps") << "5 5 5 6 6 6 7 7 8" << 2 << "0 3 6 8";
        QTest::newRow("slow sweeps") << "1 5 9 13 17" << 3 << "0 3";
        QTest::newRow("clock put back") << "10 11 9 12" << 1 << "0 1 3";
    }
    void timeLabels() {
        QFETCH(QString, seconds);
        QFETCH(int, spacing);
        std::vector<std::int64_t> times;
        for (const QString& t : seconds.split(' ')) times.push_back(t.toLongLong());
        QStringList rows;
        for (std::size_t row : timeLabelledRows(times, spacing)) rows << QString::number(row);
        QTEST(rows.join(' '), "labelled");
    }

    // One decimal, ties to even, no exponent, no minus zero.
    void numberTexts() {
        const std::pair<double, std::string> texts[] = {
            {904.6f, "904.6"}, {-63.333333, "-63.3"}, {0.25, "0.2"},
            {-0.25, "-0.2"},   {-0.04, "0"},          {1e20, "100000000000000000000"}};
        for (const auto& [value, label] : texts) {
            QCOMPARE(labelText(value), label);
            QCOMPARE(markerValueText(value), label);
        }
    }
};

QTEST_MAIN(DisplayTest)
#include "test_display.moc"
