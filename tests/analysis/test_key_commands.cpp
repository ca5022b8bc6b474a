#include <QtTest>
#include <string>
#include <vector>

#include "default_settings.h"
#include "display.h"
#include "key_commands.h"
#include "recording_surface.h"
#include "spectrum_model.h"
#include "virtual_keys.h"

using namespace kv;

Q_DECLARE_METATYPE(std::vector<std::string>)

namespace {

// Records the redraws the keys ask for and the marker symbols they erase.
class SpyDisplay : public DisplayCalls {
  public:
    void drawScreen(bool clearFirst) override {
        calls.push_back(clearFirst ? "screen(clear)" : "screen");
    }
    void layoutLegend() override { calls.push_back("layout"); }
    void drawTrace() override { calls.push_back("trace"); }
    void drawReadouts() override { calls.push_back("readouts"); }
    void drawMarkers() override { calls.push_back("markers"); }
    std::vector<std::string> calls;
};

struct Symbol {
    double x, y;
    Colour colour;
    bool operator==(const Symbol&) const = default;
};

const std::vector<double> kPeakLevels = {-60, -63, -70, -72, -68, -64, -66, -75,
                                         -80, -70, -62, -58, -61, -66, -70, -69};

}  // namespace

class KeyCommandsTest : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void qtKeysMapToVirtualKeys_data();
    void qtKeysMapToVirtualKeys();
    void redrawOrderPerKey_data();
    void redrawOrderPerKey();
    void everyKeyIgnoredWhileStopped();
    void nextPeakSequence_data();
    void nextPeakSequence();
    void nextPeakThresholds_data();
    void nextPeakThresholds();
    void peakSearch_data();
    void peakSearch();
    void arrowLimits_data();
    void arrowLimits();
    void arrowsStopAtEnds();
    void rightLimitFollowsWidth();
    void markerDeltaOnAndOff();
    void togglesFlipModes();
    void erasesThroughTheDisplay();

  private:
    void useLevels(const std::vector<double>& levels);
    KeyCommands keys();

    SharedState state_;
    RecordingSurface surface_;
    SpyDisplay display_;
    std::vector<Symbol> symbols_;
};

void KeyCommandsTest::init() {
    state_ = test::defaultState();
    surface_ = RecordingSurface(10755, 8730);
    layoutTracePoints(state_, surface_);
    display_.calls.clear();
    symbols_.clear();
}

KeyCommands KeyCommandsTest::keys() {
    return KeyCommands(state_, surface_, display_, [this](double x, double y, Colour c) {
        symbols_.push_back({x, y, c});
    });
}

void KeyCommandsTest::useLevels(const std::vector<double>& levels) {
    state_.settings.numberOfPoints = static_cast<std::int16_t>(levels.size());
    createTraceArrays(state_);
    layoutTracePoints(state_, surface_);
    for (std::size_t i = 0; i < levels.size(); ++i) {
        auto& p = state_.trace[i];
        p.amplitudeDb = levels[i];
        p.yOut = p.yIn = levelToY(state_.settings, levels[i], surface_.scaleHeight());
    }
}

void KeyCommandsTest::qtKeysMapToVirtualKeys_data() {
    QTest::addColumn<int>("qtKey");
    QTest::addColumn<int>("virtualKey");
    QTest::newRow("F1") << 0x01000030 << 112;
    QTest::newRow("F4") << 0x01000033 << 115;
    QTest::newRow("F7") << 0x01000036 << 118;
    QTest::newRow("Left") << 0x01000012 << 37;
    QTest::newRow("Right") << 0x01000014 << 39;
    QTest::newRow("F8") << 0x01000037 << -1;
    QTest::newRow("Up") << 0x01000013 << -1;
    QTest::newRow("A") << 0x41 << -1;
}

void KeyCommandsTest::qtKeysMapToVirtualKeys() {
    QFETCH(int, qtKey);
    QFETCH(int, virtualKey);
    QCOMPARE(virtualKeyFor(qtKey).value_or(-1), virtualKey);
}

void KeyCommandsTest::redrawOrderPerKey_data() {
    using Calls = std::vector<std::string>;
    QTest::addColumn<int>("key");
    QTest::addColumn<Calls>("expected");
    QTest::newRow("F1") << vk::kF1 << Calls{"readouts", "markers"};
    QTest::newRow("F2") << vk::kF2 << Calls{};
    QTest::newRow("F3") << vk::kF3 << Calls{};
    QTest::newRow("F4") << vk::kF4 << Calls{"markers", "readouts"};
    QTest::newRow("F5") << vk::kF5 << Calls{"markers", "readouts"};
    QTest::newRow("F6") << vk::kF6 << Calls{};
    QTest::newRow("F7") << vk::kF7 << Calls{"screen(clear)"};
    QTest::newRow("Left") << vk::kLeft << Calls{"readouts", "markers"};
    QTest::newRow("Right") << vk::kRight << Calls{"readouts", "markers"};
    QTest::newRow("Up") << 38 << Calls{};
    QTest::newRow("F8") << 119 << Calls{};
}

void KeyCommandsTest::redrawOrderPerKey() {
    QFETCH(int, key);
    QFETCH(std::vector<std::string>, expected);
    state_.markers.marker = {5, 5};
    keys().keyDown(key);
    QCOMPARE(display_.calls, expected);
    QVERIFY(symbols_.empty());  // F3 from off erases nothing either
}

void KeyCommandsTest::everyKeyIgnoredWhileStopped() {
    useLevels(kPeakLevels);
    state_.flags.stopRequested = true;
    state_.markers.marker = {5, 9};
    state_.markers.markerDelta = true;
    auto k = keys();
    for (int key :
         {vk::kF1, vk::kF2, vk::kF3, vk::kF4, vk::kF5, vk::kF6, vk::kF7, vk::kLeft, vk::kRight}) {
        k.keyDown(key);
        QCOMPARE(state_.markers.marker[0], std::int16_t(5));
        QCOMPARE(state_.markers.marker[1], std::int16_t(9));
        QVERIFY(state_.markers.markerDelta);
        QVERIFY(!state_.flags.maxHold);
        QVERIFY(!state_.flags.viewOnly);
    }
    QVERIFY(display_.calls.empty());
    QVERIFY(symbols_.empty());
}

void KeyCommandsTest::nextPeakSequence_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<QList<int>>("path");
    QTest::newRow("F5 from 0") << vk::kF5 << QList<int>{0, 5, 11, 11};
    QTest::newRow("F4 from 15") << vk::kF4 << QList<int>{15, 11, 5, 5};
    QTest::newRow("F4 on point 0") << vk::kF4 << QList<int>{0, 0};
    QTest::newRow("F5 on the last point") << vk::kF5 << QList<int>{15, 15};
}

void KeyCommandsTest::nextPeakSequence() {
    QFETCH(int, key);
    QFETCH(QList<int>, path);
    useLevels(kPeakLevels);
    state_.markers.marker[0] = static_cast<std::int16_t>(path.front());
    auto k = keys();
    for (int i = 1; i < path.size(); ++i) {
        k.keyDown(key);
        QCOMPARE(int(state_.markers.marker[0]), path[i]);
    }
    QCOMPARE(state_.markers.marker[1], std::int16_t(0));
}

void KeyCommandsTest::nextPeakThresholds_data() {
    QTest::addColumn<QList<double>>("levels");
    QTest::addColumn<int>("expected");
    QTest::newRow("rise of 5") << QList<double>{-70, -75, -70, -80, -80} << 0;
    QTest::newRow("rise of 6") << QList<double>{-70, -76, -70, -80, -80} << 2;
    QTest::newRow("fall of 5") << QList<double>{-76, -70, -75, -75} << 0;
    QTest::newRow("fall of 6") << QList<double>{-76, -70, -76} << 1;
    QTest::newRow("peak at the end") << QList<double>{-80, -70, -60} << 0;
    QTest::newRow("small top skipped") << QList<double>{-63, -60, -65, -70, -50, -60} << 4;
}

void KeyCommandsTest::nextPeakThresholds() {
    QFETCH(QList<double>, levels);
    QFETCH(int, expected);
    useLevels(std::vector<double>(levels.begin(), levels.end()));
    keys().keyDown(vk::kF5);
    QCOMPARE(int(state_.markers.marker[0]), expected);
}

void KeyCommandsTest::peakSearch_data() {
    QTest::addColumn<QList<int>>("yOut");
    QTest::addColumn<bool>("delta");
    QTest::addColumn<int>("expected");
    QTest::newRow("highest") << QList<int>{3000, 2000, 1500, 2500} << false << 2;
    QTest::newRow("tie: lowest index") << QList<int>{3000, 1500, 1500, 2500} << false << 1;
    QTest::newRow("all equal") << QList<int>{2000, 2000, 2000} << false << 0;
    QTest::newRow("unmeasured wins") << QList<int>{3000, 1500, 0, 0} << false << 2;
    QTest::newRow("moves marker 2 in delta") << QList<int>{3000, 1500, 2000} << true << 1;
}

void KeyCommandsTest::peakSearch() {
    QFETCH(QList<int>, yOut);
    QFETCH(bool, delta);
    QFETCH(int, expected);
    useLevels(std::vector<double>(static_cast<std::size_t>(yOut.size()), -70));
    for (int i = 0; i < yOut.size(); ++i) state_.trace[i].yOut = yOut[i];
    state_.markers.markerDelta = delta;
    state_.markers.marker = {3, 3};
    keys().keyDown(vk::kF1);
    QCOMPARE(int(state_.markers.marker[delta ? 1 : 0]), expected);
    QCOMPARE(int(state_.markers.marker[delta ? 0 : 1]), 3);
}

// The step is refused when the neighbour's symbol would touch or cross the margin.
void KeyCommandsTest::arrowLimits_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("neighbourX");
    QTest::addColumn<bool>("moves");
    QTest::newRow("left, touching") << vk::kLeft << 550 << false;
    QTest::newRow("left, clear") << vk::kLeft << 551 << true;
    QTest::newRow("right, touching") << vk::kRight << 10205 << false;
    QTest::newRow("right, clear") << vk::kRight << 10204 << true;
}

void KeyCommandsTest::arrowLimits() {
    QFETCH(int, key);
    QFETCH(int, neighbourX);
    QFETCH(bool, moves);
    const int start = key == vk::kLeft ? 1 : 48;
    const int neighbour = key == vk::kLeft ? 0 : 49;
    state_.trace[neighbour].xCenter = neighbourX;
    state_.markers.marker[0] = static_cast<std::int16_t>(start);
    keys().keyDown(key);
    QCOMPARE(int(state_.markers.marker[0]), moves ? neighbour : start);
    QCOMPARE(display_.calls, (std::vector<std::string>{"readouts", "markers"}));
}

void KeyCommandsTest::arrowsStopAtEnds() {
    auto k = keys();
    for (int i = 0; i < 60; ++i) k.keyDown(vk::kRight);
    QCOMPARE(int(state_.markers.marker[0]), 49);
    for (int i = 0; i < 60; ++i) k.keyDown(vk::kLeft);
    QCOMPARE(int(state_.markers.marker[0]), 0);
}

void KeyCommandsTest::rightLimitFollowsWidth() {
    surface_.resize(5000, 8730);  // narrower after the columns were laid out
    auto k = keys();
    for (int i = 0; i < 60; ++i) k.keyDown(vk::kRight);
    const int stop = state_.markers.marker[0];
    QVERIFY(stop < 49);
    QVERIFY(state_.trace[stop].xCenter + 50 < 4500);
    QVERIFY(state_.trace[stop + 1].xCenter + 50 >= 4500);
}

void KeyCommandsTest::markerDeltaOnAndOff() {
    state_.markers.marker = {7, 0};
    state_.markers.glyphX = {1200, 2300};
    state_.markers.glyphY = {3100, 3200};
    auto k = keys();
    k.keyDown(vk::kF3);
    QVERIFY(state_.markers.markerDelta);
    QCOMPARE(state_.markers.marker[1], std::int16_t(7));
    QVERIFY(symbols_.empty());

    k.keyDown(vk::kRight);  // marker 2 is the active one now
    k.keyDown(vk::kRight);
    QCOMPARE(state_.markers.marker[0], std::int16_t(7));
    QCOMPARE(state_.markers.marker[1], std::int16_t(9));

    display_.calls.clear();
    k.keyDown(vk::kF3);
    QVERIFY(!state_.markers.markerDelta);
    QCOMPARE(state_.markers.marker[0], std::int16_t(9));
    const Colour background = state_.settings.backgroundColor;
    QCOMPARE(symbols_, (std::vector<Symbol>{{1200, 3100, background}, {2300, 3200, background}}));
    QVERIFY(display_.calls.empty());
}

void KeyCommandsTest::togglesFlipModes() {
    auto k = keys();
    k.keyDown(vk::kF2);
    k.keyDown(vk::kF6);
    QVERIFY(state_.flags.maxHold);
    QVERIFY(state_.flags.viewOnly);
    k.keyDown(vk::kF2);
    k.keyDown(vk::kF6);
    QVERIFY(!state_.flags.maxHold);
    QVERIFY(!state_.flags.viewOnly);
}

// Bound to the real display, the erase draws both diamonds in the background colour.
void KeyCommandsTest::erasesThroughTheDisplay() {
    kv::Display display(state_, surface_);
    KeyCommands k(state_, surface_, display);
    state_.markers.markerDelta = true;
    state_.markers.glyphX = {1200, 2300};
    state_.markers.glyphY = {3100, 3200};
    k.keyDown(vk::kF3);
    const auto lines = surface_.callsOf(RecordingSurface::Op::Line);
    QCOMPARE(lines.size(), std::size_t(8));
    QCOMPARE(lines[0].x1, 1200.0);
    QCOMPARE(lines[0].y1, 3100.0 - 200);
    QCOMPARE(lines[4].x1, 2300.0);
    for (const auto& l : lines) QCOMPARE(l.colour, state_.settings.backgroundColor);
}

QTEST_APPLESS_MAIN(KeyCommandsTest)
#include "test_key_commands.moc"
