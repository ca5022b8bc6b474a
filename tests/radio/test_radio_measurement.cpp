// The level conversion, max hold, and the failure message and recovery of a measurement.
#include <QTest>

#include <map>

#include "level_conversion.h"
#include "radio_rig.h"

using namespace kv;
using namespace kv::test;

namespace {

struct Printed {
    std::string text;
    double x;
    double y;
    Colour colour;
    bool operator==(const Printed&) const = default;
};

std::vector<Printed> printed(const RecordingSurface& surface) {
    std::vector<Printed> out;
    for (const auto& c : surface.callsOf(RecordingSurface::Op::Print))
        out.push_back({c.text, c.x1, c.y1, c.colour});
    return out;
}

bool sameValues(const TracePoint& a, const TracePoint& b) {
    return a.xLeft == b.xLeft && a.xRight == b.xRight && a.xCenter == b.xCenter &&
           a.yOut == b.yOut && a.yIn == b.yIn && a.amplitudeDb == b.amplitudeDb;
}

std::int32_t yOf(const RadioRig& rig, double level) {
    return levelToY(rig.state.settings, level, rig.surface.scaleHeight());
}

}  // namespace

Q_DECLARE_METATYPE(std::vector<Printed>)

class RadioMeasurementTest : public QObject {
    Q_OBJECT
  private slots:
    void conversion_data();
    void conversion();
    void maxHold_data();
    void maxHold();
    void recovery_data();
    void recovery();
    void noReportWhileStopping();
};

void RadioMeasurementTest::conversion_data() {
    QTest::addColumn<int>("raw");
    QTest::addColumn<float>("amplitude");
    QTest::addColumn<double>("level");

    QTest::newRow("0") << 0 << -40.0f << -42.0;
    QTest::newRow("1") << 1 << -40.0f << -43.0;
    QTest::newRow("100") << 100 << -40.0f << -57.0;
    QTest::newRow("200") << 200 << -40.0f << -72.0;
    QTest::newRow("300") << 300 << -40.0f << -86.0;
    QTest::newRow("371") << 371 << -40.0f << -97.0;
    QTest::newRow("372, 1.2 V in single precision") << 372 << -40.0f << -97.0;
    QTest::newRow("65535") << 65535 << -40.0f << -97.0;
    QTest::newRow("-45 under amplitude -50") << 17 << -50.0f << -52.0;
    QTest::newRow("-42 at the limit of amplitude -41") << 0 << -41.0f << -43.0;
    QTest::newRow("-42 under amplitude -42.5, tie to even") << 0 << -42.5f << -44.0;
    QTest::newRow("-44 below the limit of -42.5") << 10 << -42.5f << -44.0;
}

void RadioMeasurementTest::conversion() {
    QFETCH(int, raw);
    QFETCH(float, amplitude);
    QFETCH(double, level);
    QCOMPARE(levelFromReading(static_cast<std::uint16_t>(raw), amplitude), level);
}

// y of -57 dB (raw 100) lies above y of -86 dB (raw 300).
void RadioMeasurementTest::maxHold_data() {
    QTest::addColumn<bool>("maxHold");
    QTest::addColumn<double>("oldLevel");  // 0: point cleared at the start of the run
    QTest::addColumn<int>("raw");
    QTest::addColumn<double>("storedLevel");

    QTest::newRow("off: a weaker level replaces") << false << -57.0 << 300 << -86.0;
    QTest::newRow("on: a stronger level replaces") << true << -86.0 << 100 << -57.0;
    QTest::newRow("on: a weaker level is not taken") << true << -57.0 << 300 << -57.0;
    QTest::newRow("on: an equal level is not taken") << true << -57.0 << 100 << -57.0;
    QTest::newRow("on: a cleared point takes its reading") << true << 0.0 << 300 << -86.0;
}

void RadioMeasurementTest::maxHold() {
    QFETCH(bool, maxHold);
    QFETCH(double, oldLevel);
    QFETCH(int, raw);
    QFETCH(double, storedLevel);

    RadioRig rig;
    rig.fake.commandMode = true;
    rig.fake.reading = [raw](int) { return static_cast<std::uint16_t>(raw); };
    rig.state.flags.maxHold = maxHold;
    const bool cleared = oldLevel == 0;
    const std::int32_t oldYIn = yOf(rig, cleared ? -60 : oldLevel);
    const std::int32_t oldYOut = cleared ? 0 : oldYIn;
    rig.state.trace[2] = TracePoint{0, 0, 0, oldYOut, oldYIn, cleared ? -60 : oldLevel};

    QVERIFY(rig.radio.measurePoint(2));
    const TracePoint& p = rig.state.trace[2];
    QCOMPARE(p.amplitudeDb, storedLevel);
    QCOMPARE(p.yOut, yOf(rig, storedLevel));
    QCOMPARE(p.yIn, yOf(rig, storedLevel));
    // The previous position is copied whether or not the reading was taken.
    QCOMPARE(rig.state.previousTrace[2].yOut, oldYOut);
    QCOMPARE(rig.state.previousTrace[2].yIn, oldYIn);
}

// The radio (in command mode) ignores everything sent before `silentUntil`, then answers.
void RadioMeasurementTest::recovery_data() {
    QTest::addColumn<int>("silentUntil");
    QTest::addColumn<std::vector<Printed>>("prints");
    QTest::addColumn<QStringList>("commands");

    const std::string message =
        "Communication failure.  Hardware is COM3 and baud rate is 19200.  RTS mode should be "
        "disabled in the radio.";
    const Colour bg = 0x102030;
    const Colour fg = 0x00FF00;
    const Printed eraseNothing{"", 550, 1150, bg};
    const Printed show{message, 550, 1150, fg};
    const Printed erase{message, 550, 1150, bg};

    // Echo lost (0-2000), enter lost (2000-4000), exit answered, enter answered.
    QTest::newRow("exit answered first")
        << 3000 << std::vector<Printed>{eraseNothing, show, erase, eraseNothing}
        << QStringList{"channel", "enter", "exit", "resume", "enter", "confirm"};
    // Echo, enter and exit lost; shown again; enter ignored in command mode, exit, enter.
    QTest::newRow("exit lost once")
        << 5000 << std::vector<Printed>{eraseNothing, show, erase, show, erase, eraseNothing}
        << QStringList{"channel", "enter", "exit", "enter", "exit", "resume", "enter", "confirm"};
}

void RadioMeasurementTest::recovery() {
    QFETCH(int, silentUntil);
    QFETCH(std::vector<Printed>, prints);
    QFETCH(QStringList, commands);

    RadioRig rig;
    rig.state.settings.port = 2;
    rig.state.settings.baud = "19200";
    rig.state.settings.backgroundColor = 0x102030;
    rig.state.settings.messageColor = 0x00FF00;
    rig.fake.commandMode = true;
    rig.answerWith([&](std::string_view sent) {
        return rig.loop.now < silentUntil ? std::string{} : rig.fake.answer(sent);
    });
    const TracePoint before{1, 2, 3, 1500, 1600, -55};
    const TracePoint beforePrevious{0, 0, 0, 1700, 1800, 0};
    rig.state.trace[0] = before;
    rig.state.previousTrace[0] = beforePrevious;

    QVERIFY(!rig.radio.measurePoint(0));

    QCOMPARE(printed(rig.surface), prints);
    QVERIFY(rig.state.texts.commMessage.empty());
    QVERIFY(rig.state.texts.shownCommMessage.empty());
    QVERIFY(rig.fake.commandMode);
    QCOMPARE(rig.comm.clearOutBufferCount, 1);
    QVERIFY(sameValues(rig.state.trace[0], before));
    QVERIFY(sameValues(rig.state.previousTrace[0], beforePrevious));

    const std::map<std::string, QString> names{{std::string("\xB1\x00\x00", 3), "channel"},
                                               {"AT+++\r", "enter"},
                                               {"\xCC\x65", "confirm"},
                                               {"V", "exit"},
                                               {"\xCC"
                                                "ATO\r",
                                                "resume"}};
    QStringList sent;
    for (const auto& o : rig.comm.outputs) sent << names.at(o);
    QCOMPARE(sent, commands);
}

void RadioMeasurementTest::noReportWhileStopping() {
    RadioRig rig;
    rig.state.texts.shownCommMessage = "Communication failure.";
    rig.state.flags.stopRequested = true;
    rig.radio.reportCommFailure(false);
    rig.radio.reportCommFailure(true);
    QVERIFY(rig.surface.calls.empty());
    QCOMPARE(rig.state.texts.shownCommMessage, std::string("Communication failure."));
}

QTEST_GUILESS_MAIN(RadioMeasurementTest)
#include "test_radio_measurement.moc"
