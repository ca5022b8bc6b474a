#include <QtTest>
#include <cmath>
#include <string>
#include <vector>

#include "default_settings.h"
#include "display.h"
#include "recording_surface.h"
#include "spectrum_model.h"

using namespace kv;
using Op = RecordingSurface::Op;
using Call = RecordingSurface::Call;

namespace {

constexpr Colour kBackground = 0;
constexpr Colour kGraph = 65280;
constexpr Colour kGrid = 8404992;
constexpr Colour kMessage = 0x123456;  // distinct from the trace colour, to tell them apart

struct Line {
    double x1, y1, x2, y2;
    bool operator==(const Line&) const = default;
};

std::vector<Line> linesIn(const RecordingSurface& surface, Colour colour) {
    std::vector<Line> out;
    for (const auto& c : surface.callsOf(Op::Line))
        if (c.colour == colour) out.push_back({c.x1, c.y1, c.x2, c.y2});
    return out;
}

struct Printed {
    std::string text;
    double x, y;
    Colour colour;
    bool operator==(const Printed&) const = default;
};

std::vector<Printed> printsOf(const RecordingSurface& surface) {
    std::vector<Printed> out;
    for (const auto& c : surface.callsOf(Op::Print)) out.push_back({c.text, c.x1, c.y1, c.colour});
    return out;
}

char* toString(const Line& l) {
    return QTest::toString(QString("(%1,%2)-(%3,%4)").arg(l.x1).arg(l.y1).arg(l.x2).arg(l.y2));
}

char* toString(const Printed& p) {
    return QTest::toString(QString("\"%1\" at (%2,%3) in %4")
                               .arg(QString::fromStdString(p.text))
                               .arg(p.x)
                               .arg(p.y)
                               .arg(p.colour));
}

}  // namespace

class DisplayDrawingTest : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void screenDrawingOrder();
    void graticuleAndLabels();
    void legendTexts();
    void clearOnlyWhenAsked();
    void divisionsBelowOne_data();
    void divisionsBelowOne();
    void screenBeforeFirstLayout();
    void layoutWritesStateForSurface();
    void extremeMarginsEnd();
    void traceSegmentsForFourPoints();
    void traceBrokenAroundUnmeasuredPoint();
    void traceOfTwoPoints();
    void traceOfOnePointDrawsNothing();
    void traceEndsOnPlotEdges();
    void markerReadouts();
    void deltaReadouts_data();
    void deltaReadouts();
    void readoutsErasePreviousTexts();
    void commMessageLine();
    void markerSymbols();

  private:
    void usePoints(int n);
    void setHeights(std::vector<TracePoint>& points, const std::vector<int>& ys);

    SharedState state_;
    RecordingSurface surface_;
};

void DisplayDrawingTest::init() {
    state_ = test::defaultState();
    state_.settings.messageColor = kMessage;
    surface_ = RecordingSurface(10755, 8730);
    layoutTracePoints(state_, surface_);
}

void DisplayDrawingTest::usePoints(int n) {
    state_.settings.numberOfPoints = static_cast<std::int16_t>(n);
    createTraceArrays(state_);
    layoutTracePoints(state_, surface_);
}

// y 0 leaves a point without a value.
void DisplayDrawingTest::setHeights(std::vector<TracePoint>& points, const std::vector<int>& ys) {
    for (std::size_t i = 0; i < ys.size(); ++i) points[i].yOut = points[i].yIn = ys[i];
}

void DisplayDrawingTest::screenDrawingOrder() {
    kv::Display display(state_, surface_);
    display.layoutLegend();
    display.drawScreen(true);
    const auto& c = surface_.calls;
    QVERIFY(c.size() > 60);
    QCOMPARE(c[0].op, Op::Clear);
    QCOMPARE(c[1], (Call{Op::FilledBox, 500, 500, 10255, 7530, kBackground, {}}));
    QCOMPARE(c[2], (Call{Op::SetForeColor, 0, 0, 0, 0, state_.settings.labelColor, {}}));
    QCOMPARE(c[3], (Call{Op::SetFont, 8, 0, 0, 0, 0, "MS Sans Serif"}));
    // Per division: vertical line, horizontal line, frequency label, amplitude label.
    std::size_t at = 4;
    for (int i = 0; i <= 10; ++i, at += 4) {
        QCOMPARE(c[at].op, Op::Line);
        QCOMPARE(c[at].x1, c[at].x2);
        QCOMPARE(c[at + 1].op, Op::Line);
        QCOMPARE(c[at + 1].y1, c[at + 1].y2);
        QCOMPARE(c[at + 2].op, Op::Print);
        QCOMPARE(c[at + 3].op, Op::Print);
    }
    QCOMPARE(c[at].op, Op::SetForeColor);
    QCOMPARE(c[at + 1].op, Op::SetFont);
    QCOMPARE(c[at + 2], (Call{Op::Line, 0, 7930, 10755, 7930, state_.settings.labelColor, {}}));
    at += 3;
    for (int k = 0; k < 9; ++k) QCOMPARE(c[at + k].op, Op::Print);
    at += 9;
    // Then the trace (no points measured: only the grid), the readouts, the markers.
    std::vector<Op> rest;
    for (std::size_t i = at; i < c.size(); ++i)
        if (c[i].op != Op::SetForeColor) rest.push_back(c[i].op);
    std::vector<Op> expected(22, Op::Line);
    expected.insert(expected.end(), 12, Op::Print);
    expected.insert(expected.end(), 8, Op::Line);
    QCOMPARE(rest, expected);
}

void DisplayDrawingTest::graticuleAndLabels() {
    kv::Display display(state_, surface_);
    display.layoutLegend();
    display.drawScreen(true);
    const auto grid = linesIn(surface_, kGrid);
    QCOMPARE(grid.size(), std::size_t(2 * 11 * 2));  // screen, then the trace's grid redraw
    for (int i = 0; i <= 10; ++i) {
        const double x = 500 + 975.5 * i;
        const double y = 500 + 703.0 * i;
        QCOMPARE(grid[2 * i], (Line{x, 500, x, 7630}));
        QCOMPARE(grid[2 * i + 1], (Line{400, y, 10255, y}));
        QCOMPARE(grid[22 + 2 * i], grid[2 * i]);
        QCOMPARE(grid[22 + 2 * i + 1], grid[2 * i + 1]);
    }
    const auto prints = printsOf(surface_);
    const QStringList frequencies{"902",   "904.6", "907.2", "909.8", "912.4", "915",
                                  "917.6", "920.2", "922.8", "925.4", "928"};
    for (int i = 0; i <= 10; ++i) {
        const auto& f = prints[2 * i];
        const auto& a = prints[2 * i + 1];
        const std::string amplitude = std::to_string(-40 - 7 * i);
        QCOMPARE(QString::fromStdString(f.text), frequencies[i]);
        QCOMPARE(f.x, 500 + 975.5 * i - 90.0 * f.text.size() / 2);
        QCOMPARE(f.y, 7630.0);
        QCOMPARE(a.text, amplitude);
        QCOMPARE(a.x, 500 - 100 - 90.0 * amplitude.size() - 20);
        QCOMPARE(a.y, 500 + 703.0 * i - 97.5);
        QCOMPARE(f.colour, state_.settings.labelColor);
    }
}

void DisplayDrawingTest::legendTexts() {
    kv::Display display(state_, surface_);
    display.layoutLegend();
    display.drawScreen(true);
    const auto prints = printsOf(surface_);
    const std::vector<Printed> expected = {
        {"F1: Peak Search", 500, 8030, 0},
        {"F2: Max Hold", 2939, 8030, 0},
        {"F3: Marker Delta", 5378, 8030, 0},
        {"F4: Next Peak Left", 7816, 8030, 0},
        {"F5: Next Peak Right", 500, 8230, 0},
        {"F6: View", 2939, 8230, 0},
        {"F7: Refresh", 5378, 8230, 0},
        {"Left Arrow: Marker Left", 7816, 8230, 0},
        {"Right Arrow: Marker Right", 500, 8430, 0},
    };
    QCOMPARE(std::vector<Printed>(prints.begin() + 22, prints.begin() + 31), expected);
}

void DisplayDrawingTest::clearOnlyWhenAsked() {
    kv::Display display(state_, surface_);
    display.layoutLegend();
    display.drawScreen(false);
    QVERIFY(surface_.callsOf(Op::Clear).empty());
    QCOMPARE(surface_.calls.front().op, Op::FilledBox);
}

void DisplayDrawingTest::divisionsBelowOne_data() {
    QTest::addColumn<int>("gradiants");
    QTest::newRow("0") << 0;
    QTest::newRow("-5") << -5;
}

// Drawn as one division: the plot's edges, labelled at both ends of each axis.
void DisplayDrawingTest::divisionsBelowOne() {
    QFETCH(int, gradiants);
    state_.settings.numberOfGradiants = static_cast<std::int16_t>(gradiants);
    kv::Display display(state_, surface_);
    display.drawScreen(true);
    for (const auto& c : surface_.calls) {
        QVERIFY(std::isfinite(c.x1) && std::isfinite(c.y1));
        QVERIFY(std::isfinite(c.x2) && std::isfinite(c.y2));
    }
    const auto grid = linesIn(surface_, kGrid);
    QCOMPARE(grid.size(), std::size_t(8));
    QCOMPARE(grid[0], (Line{500, 500, 500, 7630}));
    QCOMPARE(grid[3], (Line{400, 7530, 10255, 7530}));
    const auto texts = surface_.printedTexts();
    QCOMPARE(QStringList({QString::fromStdString(texts[0]), QString::fromStdString(texts[1]),
                          QString::fromStdString(texts[2]), QString::fromStdString(texts[3])}),
             (QStringList{"902", "-40", "928", "-110"}));
}

// A repaint before the first layout lays the legend out rather than drawing without it.
void DisplayDrawingTest::screenBeforeFirstLayout() {
    QVERIFY(!state_.legendPos);
    kv::Display display(state_, surface_);
    display.drawScreen(true);
    QVERIFY(state_.legendPos.has_value());
    QCOMPARE(int(state_.settings.graphBottom), 1200);
    QCOMPARE(surface_.calls[1], (Call{Op::FilledBox, 500, 500, 10255, 7530, kBackground, {}}));
    QCOMPARE(linesIn(surface_, state_.settings.labelColor).front(), (Line{0, 7930, 10755, 7930}));
}

void DisplayDrawingTest::layoutWritesStateForSurface() {
    surface_.resize(2000, 8730);  // plot width 1000: one column of nine rows
    kv::Display display(state_, surface_);
    display.layoutLegend();
    QCOMPARE(int(state_.settings.graphBottom), 2400);
    QCOMPARE((*state_.legendPos)[0].y, 8730 - 10 * 200);
    QCOMPARE((*state_.legendPos)[9].x, 500);
    QCOMPARE((*state_.legendPos)[9].y, 8430);
    QVERIFY(surface_.calls.empty());
}

void DisplayDrawingTest::extremeMarginsEnd() {
    state_.settings.graphLeft = 32767;
    state_.settings.graphRight = 32767;
    state_.settings.graphTop = 32767;
    kv::Display display(state_, surface_);
    display.layoutLegend();
    display.drawScreen(true);
    QCOMPARE((*state_.legendPos)[1].x, 32767);
    QCOMPARE(surface_.calls[1],
             (Call{Op::FilledBox, 32767, 32767, 10755.0 - 32767, 8730.0 - 2400, kBackground, {}}));
}

void DisplayDrawingTest::traceSegmentsForFourPoints() {
    usePoints(4);
    setHeights(state_.previousTrace, {1000, 1100, 1200, 1300});
    setHeights(state_.trace, {2000, 2100, 2200, 2300});
    const auto& t = state_.trace;
    kv::Display display(state_, surface_);
    display.drawTrace();

    const Line s01{double(t[0].xLeft), 2000, double(t[1].xCenter), 2100};
    const Line s12{double(t[1].xCenter), 2100, double(t[2].xCenter), 2200};
    const Line s23{double(t[2].xCenter), 2200, double(t[3].xRight), 2300};
    QCOMPARE(linesIn(surface_, kGraph), (std::vector<Line>{s01, s01, s12, s12, s23}));

    // The erase uses the previous heights on the same columns, before the grid and trace.
    const auto erased = linesIn(surface_, kBackground);
    QCOMPARE(erased.size(), std::size_t(5));
    QCOMPARE(erased[2], (Line{double(t[1].xCenter), 1100, double(t[2].xCenter), 1200}));
    QCOMPARE(erased[4], (Line{double(t[2].xCenter), 1200, double(t[3].xRight), 1300}));
    QCOMPARE(surface_.calls[5].colour, kGrid);
    QCOMPARE(surface_.calls[5 + 22].colour, kGraph);
}

void DisplayDrawingTest::traceBrokenAroundUnmeasuredPoint() {
    usePoints(5);
    setHeights(state_.previousTrace, {1000, 1100, 0, 1300, 1400});
    setHeights(state_.trace, {2000, 2100, 0, 2300, 2400});
    const auto& t = state_.trace;
    kv::Display display(state_, surface_);
    display.drawTrace();
    const Line s01{double(t[0].xLeft), 2000, double(t[1].xCenter), 2100};
    const Line s34{double(t[3].xCenter), 2300, double(t[4].xRight), 2400};
    QCOMPARE(linesIn(surface_, kGraph), (std::vector<Line>{s01, s01, s34}));
    QCOMPARE(linesIn(surface_, kBackground).size(), std::size_t(3));
}

void DisplayDrawingTest::traceOfTwoPoints() {
    usePoints(2);
    setHeights(state_.trace, {2000, 2100});
    const auto& t = state_.trace;
    kv::Display display(state_, surface_);
    display.drawTrace();
    QCOMPARE(linesIn(surface_, kGraph),
             (std::vector<Line>{{double(t[0].xLeft), 2000, double(t[1].xCenter), 2100},
                                {double(t[0].xCenter), 2000, double(t[1].xRight), 2100}}));
    QVERIFY(linesIn(surface_, kBackground).empty());
}

void DisplayDrawingTest::traceOfOnePointDrawsNothing() {
    usePoints(1);
    setHeights(state_.previousTrace, {1000});
    setHeights(state_.trace, {2000});
    kv::Display display(state_, surface_);
    display.drawTrace();
    QCOMPARE(surface_.calls.size(), std::size_t(22));
    QCOMPARE(linesIn(surface_, kGrid).size(), std::size_t(22));
}

void DisplayDrawingTest::traceEndsOnPlotEdges() {
    std::vector<int> ys(50);
    for (int i = 0; i < 50; ++i) ys[i] = 1000 + 37 * i;
    setHeights(state_.trace, ys);
    kv::Display display(state_, surface_);
    display.drawTrace();
    const auto lines = linesIn(surface_, kGraph);
    QCOMPARE(lines.size(), std::size_t(2 * 50 - 3));  // 0-1 and every inner segment twice
    QCOMPARE(lines.front().x1, 500.0);
    QCOMPARE(lines.back().x2, 10255.0);
    QCOMPARE(lines.back().y2, double(ys.back()));
}

void DisplayDrawingTest::markerReadouts() {
    state_.trace[0].amplitudeDb = -67;
    kv::Display display(state_, surface_);
    display.drawMarkers();
    surface_.calls.clear();
    display.drawReadouts();
    const auto p = printsOf(surface_);
    QCOMPARE(p.size(), std::size_t(12));
    QCOMPARE(p[3], (Printed{"Frequency (MHz): 902.5", 550, 750, kMessage}));
    QCOMPARE(p[5], (Printed{"Amplitude (dB): -67", 550, 950, kMessage}));
    QCOMPARE(p[7], (Printed{"Center Frequency (MHz): 915", 7755, 550, kMessage}));
    QCOMPARE(p[9], (Printed{"Span (MHz): 26", 7755, 750, kMessage}));
    QCOMPARE(p[11], (Printed{"Amplitude (dB): -40", 7755, 950, kMessage}));
}

void DisplayDrawingTest::deltaReadouts_data() {
    QTest::addColumn<int>("marker1");
    QTest::addColumn<int>("marker2");
    QTest::addColumn<std::string>("frequency");
    QTest::addColumn<std::string>("amplitude");
    QTest::newRow("right of marker 1") << 0 << 10 << std::string("Frequency Delta (MHz): 5.1")
                                       << std::string("Amplitude Delta (dB): -12");
    QTest::newRow("left of marker 1") << 10 << 0 << std::string("Frequency Delta (MHz): -5.1")
                                      << std::string("Amplitude Delta (dB): 12");
    QTest::newRow("shared point") << 10 << 10 << std::string("Frequency Delta (MHz): 0")
                                  << std::string("Amplitude Delta (dB): 0");
}

void DisplayDrawingTest::deltaReadouts() {
    QFETCH(int, marker1);
    QFETCH(int, marker2);
    QFETCH(std::string, frequency);
    QFETCH(std::string, amplitude);
    state_.trace[0].amplitudeDb = -60;
    state_.trace[10].amplitudeDb = -72;
    state_.markers.markerDelta = true;
    state_.markers.marker = {static_cast<std::int16_t>(marker1),
                             static_cast<std::int16_t>(marker2)};
    kv::Display display(state_, surface_);
    display.drawMarkers();
    QCOMPARE(state_.texts.markerLine1, frequency);
    QCOMPARE(state_.texts.markerLine2, amplitude);
}

void DisplayDrawingTest::readoutsErasePreviousTexts() {
    state_.texts.previousSweepTimeText = "Sweep Time (ms): 900";
    state_.texts.sweepTimeText = "Sweep Time (ms): 1200";
    state_.texts.prevMarkerLine1 = "old 1";
    state_.texts.markerLine1 = "new 1";
    kv::Display display(state_, surface_);
    display.drawReadouts();
    display.drawReadouts();
    const auto p = printsOf(surface_);
    QCOMPARE(p.size(), std::size_t(24));
    QCOMPARE(p[0], (Printed{"Sweep Time (ms): 900", 550, 550, kBackground}));
    QCOMPARE(p[1], (Printed{"Sweep Time (ms): 1200", 550, 550, kMessage}));
    QCOMPARE(p[2], (Printed{"old 1", 550, 750, kBackground}));
    QCOMPARE(p[3], (Printed{"new 1", 550, 750, kMessage}));
    QCOMPARE(p[6], (Printed{"Center Frequency (MHz): 0", 7755, 550, kBackground}));
    QCOMPARE(p[8], (Printed{"Span (MHz): 0", 7755, 750, kBackground}));
    QCOMPARE(p[10], (Printed{"Amplitude (dB): 0", 7755, 950, kBackground}));
    // The second call erases the settings values the first printed.
    QCOMPARE(p[18], (Printed{"Center Frequency (MHz): 915", 7755, 550, kBackground}));
    QCOMPARE(p[22], (Printed{"Amplitude (dB): -40", 7755, 950, kBackground}));
}

void DisplayDrawingTest::commMessageLine() {
    kv::Display display(state_, surface_);
    display.drawReadouts();
    QCOMPARE(printsOf(surface_).size(), std::size_t(12));
    surface_.calls.clear();
    state_.texts.commMessage = "Communication failure";
    display.drawReadouts();
    const auto p = printsOf(surface_);
    QCOMPARE(p.size(), std::size_t(14));
    QCOMPARE(p[12], (Printed{"Communication failure", 550, 1150, kBackground}));
    QCOMPARE(p[13], (Printed{"Communication failure", 550, 1150, kMessage}));
}

void DisplayDrawingTest::markerSymbols() {
    setHeights(state_.trace, std::vector<int>(50, 3000));
    state_.markers.markerDelta = true;
    state_.markers.marker = {4, 9};
    state_.markers.glyphX = {100, 200};
    state_.markers.glyphY = {1000, 2000};
    const auto& s = state_.settings;
    const double x4 = state_.trace[4].xCenter;
    const double x9 = state_.trace[9].xCenter;
    kv::Display display(state_, surface_);
    display.drawMarkers();
    const auto diamond = [](double x, double y) {
        return std::vector<Line>{{x, y - 200, x - 50, y - 100},
                                 {x, y - 200, x + 50, y - 100},
                                 {x + 50, y - 100, x, y},
                                 {x, y, x - 50, y - 100}};
    };
    std::vector<Line> expected;
    for (const auto& part :
         {diamond(100, 1000), diamond(x4, 3000), diamond(200, 2000), diamond(x9, 3000)})
        expected.insert(expected.end(), part.begin(), part.end());
    std::vector<Line> drawn;
    std::vector<Colour> colours;
    for (const auto& c : surface_.callsOf(Op::Line)) {
        drawn.push_back({c.x1, c.y1, c.x2, c.y2});
        colours.push_back(c.colour);
    }
    QCOMPARE(drawn, expected);
    QCOMPARE(colours[0], s.backgroundColor);
    QCOMPARE(colours[4], s.markerColor[0]);
    QCOMPARE(colours[8], s.backgroundColor);
    QCOMPARE(colours[12], s.markerColor[1]);
    QCOMPARE(state_.markers.glyphX[1], std::int32_t(x9));
    QCOMPARE(state_.markers.glyphY[1], 3000);
}

QTEST_APPLESS_MAIN(DisplayDrawingTest)
#include "test_display_drawing.moc"
