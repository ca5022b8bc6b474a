// The Run command and the sweep loop, against the real radio link and a fake radio.
#include <QTest>

#include "sweep_rig.h"

using namespace kv;
using namespace kv::test;

namespace {

const std::string kEnterDialogue = std::string("AT+++\r") + "\xCC\x65";
const std::string kExitDialogue = std::string("V") + "\xCC" + "ATO\r";
using Strings = std::vector<std::string>;

}  // namespace

class SweepControllerTest : public QObject {
    Q_OBJECT
  private slots:
    void sweepSendsEveryChannelInOrder();
    void runPreparesTheTrace();
    void runIgnoredWhileInProgress();
    void runTakesRadioOutOfCommandModeLeftByEarlierRun();
    void failedPointRetriedOnce_data();
    void failedPointRetriedOnce();
    void viewOnlySendsNothing();
    void sweepTime_data();
    void sweepTime();
    void layoutChangeHonouredAfterTheSweep();
    void stopEndsRunWithinOneExchange_data();
    void stopEndsRunWithinOneExchange();
    void timer3StartsOnceThenRedraws();
};

void SweepControllerTest::sweepSendsEveryChannelInOrder() {
    SweepRig rig;
    rig.stopAfterPasses(1);
    rig.sweep.run();
    QCOMPARE(rig.comm.wire, kEnterDialogue + sweepBytes(50));
    QCOMPARE(rig.display.calls, (Strings{"drawScreen(0)", "drawScreen(-1)", "drawTrace",
                                         "drawReadouts", "drawMarkers"}));
    QVERIFY(rig.state.flags.stopRequested);
}

// The columns are laid out and YOut cleared before the full redraw that precedes sweeping.
void SweepControllerTest::runPreparesTheTrace() {
    SweepRig rig;
    for (auto& p : rig.state.trace) p = TracePoint{0, 0, 0, 3000, 3100, -70};
    rig.state.texts.sweepTimeText = "Sweep Time (mS): 5";
    rig.state.texts.markerLine1 = "M1";
    rig.state.texts.markerLine2 = "M2";
    bool checked = false;
    rig.display.onCall = [&](const std::string& name) {
        if (name == "drawScreen(0)") {
            QVERIFY(rig.state.texts.sweepTimeText.empty());
            QVERIFY(rig.state.texts.markerLine1.empty());
            QVERIFY(rig.state.texts.markerLine2.empty());
        }
        if (name != "drawScreen(-1)") return;
        // Surface 10755 wide, margins 500: 9755 / 50 = 195.1 twips a column.
        QCOMPARE(rig.state.trace[0].xLeft, 500);
        QCOMPARE(rig.state.trace[49].xRight, 10255);
        for (const auto& p : rig.state.trace) {
            QCOMPARE(p.yOut, 0);
            QCOMPARE(p.yIn, 3100);
        }
        checked = true;
        rig.state.flags.stopRequested = true;
    };
    rig.sweep.run();
    QVERIFY(checked);
    QCOMPARE(rig.comm.wire, kEnterDialogue);
}

void SweepControllerTest::runIgnoredWhileInProgress() {
    SweepRig rig;
    rig.stopAfterPasses(2);
    std::size_t wireBefore = 0;
    std::size_t callsBefore = 0;
    rig.loop.afterYields(3, [&] {  // within the first sweep's yields
        wireBefore = rig.comm.wire.size();
        callsBefore = rig.display.calls.size();
        rig.sweep.run();
        QCOMPARE(rig.comm.wire.size(), wireBefore);
        QCOMPARE(rig.display.calls.size(), callsBefore);
    });
    rig.comm.latencyMs = 1;
    rig.sweep.run();
    QVERIFY(wireBefore > 0);
    QCOMPARE(rig.comm.wire, kEnterDialogue + sweepBytes(50) + sweepBytes(50));
}

// An earlier run stopped with the radio in command mode, where it ignores "AT+++": both first
// attempts time out, the message is shown, the exit dialogue takes it out and it enters again.
void SweepControllerTest::runTakesRadioOutOfCommandModeLeftByEarlierRun() {
    SweepRig rig;
    rig.fake.commandMode = true;
    rig.stopAfterPasses(1);
    rig.sweep.run();

    QCOMPARE(rig.comm.wire,
             "AT+++\r" + std::string("AT+++\r") + kExitDialogue + kEnterDialogue + sweepBytes(50));
    QCOMPARE(rig.sentAt[1], std::int64_t{2000});
    QCOMPARE(rig.sentAt[2], std::int64_t{4000});
    std::vector<RecordingSurface::Call> prints;
    for (const auto& c : rig.surface.callsOf(RecordingSurface::Op::Print))
        if (!c.text.empty()) prints.push_back(c);
    QCOMPARE(prints.size(), std::size_t{2});  // shown after the second attempt, then erased
    QCOMPARE(prints[0].text, std::string("Communication failure.  Hardware is COM1 and baud rate "
                                         "is 115200.  RTS mode should be disabled in the radio."));
    QCOMPARE(prints[0].colour, rig.state.settings.messageColor);
    QCOMPARE(prints[1].text, prints[0].text);
    QCOMPARE(prints[1].colour, rig.state.settings.backgroundColor);
    QVERIFY(rig.state.texts.commMessage.empty());
}

// Point 3's echo is wrong the first `failures` times it is asked for.
void SweepControllerTest::failedPointRetriedOnce_data() {
    QTest::addColumn<int>("failures");
    QTest::addColumn<int>("channel3Commands");
    QTest::addColumn<bool>("measured");

    QTest::newRow("retry succeeds") << 1 << 2 << true;
    QTest::newRow("retry fails too") << 2 << 2 << false;
}

void SweepControllerTest::failedPointRetriedOnce() {
    QFETCH(int, failures);
    QFETCH(int, channel3Commands);
    QFETCH(bool, measured);

    SweepRig rig;
    rig.fake.reading = [](int ch) { return static_cast<std::uint16_t>(ch == 3 ? 100 : 300); };
    int wrongEchoes = 0;
    rig.answerWith([&](std::string_view sent) {
        if (sent == channelCommand(3) && wrongEchoes < failures) {
            ++wrongEchoes;
            rig.fake.answer(sent);
            return channelCommand(4);
        }
        return rig.fake.answer(sent);
    });
    rig.state.trace[3] = TracePoint{0, 0, 0, 1111, 2222, -66};
    rig.stopAfterPasses(1);
    rig.sweep.run();

    QCOMPARE(static_cast<int>(
                 std::count(rig.comm.outputs.begin(), rig.comm.outputs.end(), channelCommand(3))),
             channel3Commands);
    const TracePoint& p = rig.state.trace[3];
    QCOMPARE(p.amplitudeDb, measured ? -57.0 : -66.0);
    QCOMPARE(p.yIn, measured ? levelToY(rig.state.settings, -57, rig.surface.scaleHeight()) : 2222);
    QCOMPARE(p.yOut, measured ? p.yIn : 0);
    // The sweep goes on with the next points either way.
    QCOMPARE(rig.state.trace[49].amplitudeDb, -86.0);
    QCOMPARE(rig.state.trace[4].amplitudeDb, -86.0);
    QVERIFY(rig.state.texts.commMessage.empty());
}

void SweepControllerTest::viewOnlySendsNothing() {
    SweepRig rig;
    rig.comm.latencyMs = 1;
    std::size_t wireAtSwitch = 0;
    std::string sweepTimeAtSwitch;
    rig.display.onCall = [&](const std::string& name) {
        if (name != "drawTrace") return;
        const int passes = rig.display.count("drawTrace");
        if (passes == 2) {
            rig.state.flags.viewOnly = true;
            wireAtSwitch = rig.comm.wire.size();
            sweepTimeAtSwitch = rig.state.texts.sweepTimeText;
        }
        if (passes == 6) rig.state.flags.stopRequested = true;
    };
    rig.sweep.run();

    QCOMPARE(rig.comm.wire.size(), wireAtSwitch);
    QVERIFY(!sweepTimeAtSwitch.empty());
    QCOMPARE(rig.state.texts.sweepTimeText, sweepTimeAtSwitch);
    QCOMPARE(rig.display.count("drawReadouts"), 6);
    QCOMPARE(rig.display.count("drawMarkers"), 6);
    // One plain yield per pass; the four view-only passes hold no reply waits.
    const auto& t = rig.display.times;
    QCOMPARE(t.back() - t[t.size() - 4], std::int64_t{1});
}

// Three sweeps with a clock starting at the given time of day; replies take 1 ms.
void SweepControllerTest::sweepTime_data() {
    QTest::addColumn<qint64>("clockStart");
    QTest::newRow("midday") << qint64{12 * 3600000};
    QTest::newRow("across midnight") << qint64{24 * 3600000 - 150};
}

void SweepControllerTest::sweepTime() {
    QFETCH(qint64, clockStart);

    SweepRig rig(clockStart);
    rig.comm.latencyMs = 1;
    std::vector<std::string> shown;
    std::vector<std::string> previous;
    std::vector<std::int64_t> ends;
    rig.display.onCall = [&](const std::string& name) {
        if (name != "drawTrace") return;
        shown.push_back(rig.state.texts.sweepTimeText);
        previous.push_back(rig.state.texts.previousSweepTimeText);
        ends.push_back(rig.loop.now);  // the clock was read with no yield since
        if (shown.size() == 3) rig.state.flags.stopRequested = true;
    };
    rig.sweep.run();

    const std::string second = "Sweep Time (mS): " + std::to_string(ends[1] - ends[0]);
    const std::string third = "Sweep Time (mS): " + std::to_string(ends[2] - ends[1]);
    QCOMPARE(shown, (Strings{"", second, third}));
    QCOMPARE(previous[2], second);
    QCOMPARE(ends[1] - ends[0], std::int64_t{101});  // 100 exchanges of 1 ms and one yield
}

void SweepControllerTest::layoutChangeHonouredAfterTheSweep() {
    SweepRig rig;
    rig.answerWith([&](std::string_view sent) {
        if (sent == channelCommand(20) && rig.display.count("drawTrace") == 0)
            rig.state.flags.layoutChanged = true;
        return rig.fake.answer(sent);
    });
    std::size_t wireAtLegend = 0;
    rig.display.onCall = [&](const std::string& name) {
        if (name == "layoutLegend") wireAtLegend = rig.comm.wire.size();
        if (name == "drawTrace" && rig.display.count("drawTrace") == 2)
            rig.state.flags.stopRequested = true;
    };
    rig.sweep.run();

    QCOMPARE(wireAtLegend, (kEnterDialogue + sweepBytes(50)).size());
    QCOMPARE(
        rig.display.calls,
        (Strings{"drawScreen(0)", "drawScreen(-1)", "layoutLegend", "drawScreen(-1)", "drawTrace",
                 "drawReadouts", "drawMarkers", "drawTrace", "drawReadouts", "drawMarkers"}));
    QVERIFY(!rig.state.flags.layoutChanged);
}

// A stop is handled in a yield at `stopAt`; Run returns from there. A stopped EnterCommandMode
// is still followed by the exit command of the retry or recovery loop, which gives up after
// one yield.
void SweepControllerTest::stopEndsRunWithinOneExchange_data() {
    QTest::addColumn<int>("latency");
    QTest::addColumn<int>("silentFrom");  // -1: never silent
    QTest::addColumn<bool>("portOpen");
    QTest::addColumn<int>("stopAt");
    QTest::addColumn<QByteArray>("sentAfterStop");

    QTest::newRow("answering radio") << 7 << -1 << true << 333 << QByteArray();
    QTest::newRow("entering command mode") << 0 << 0 << true << 3000 << QByteArray("V");
    QTest::newRow("recovery after the radio went silent")
        << 0 << 50 << true << 7000 << QByteArray("V");
    QTest::newRow("closed port") << 0 << -1 << false << 9000 << QByteArray();
}

void SweepControllerTest::stopEndsRunWithinOneExchange() {
    QFETCH(int, latency);
    QFETCH(int, silentFrom);
    QFETCH(bool, portOpen);
    QFETCH(int, stopAt);
    QFETCH(QByteArray, sentAfterStop);

    SweepRig rig;
    rig.comm.latencyMs = latency;
    rig.comm.setPortOpen(portOpen);
    rig.answerWith([&](std::string_view sent) {
        const bool silent = silentFrom >= 0 && static_cast<int>(rig.sentAt.size()) > silentFrom;
        return silent ? std::string{} : rig.fake.answer(sent);
    });
    std::size_t wireAtStop = 0;
    rig.loop.at(stopAt, [&] {
        rig.state.flags.stopRequested = true;
        wireAtStop = rig.comm.wire.size();
    });
    rig.sweep.run();

    QCOMPARE(rig.comm.wire.substr(wireAtStop), bytes(sentAfterStop));
    // The extra exit waits one plain yield, not for its time-out.
    QCOMPARE(rig.loop.now, std::int64_t{stopAt + sentAfterStop.size()});
    QCOMPARE(rig.display.count("drawTrace"), 0);
}

void SweepControllerTest::timer3StartsOnceThenRedraws() {
    SweepRig rig;
    rig.stopAfterPasses(1);
    rig.timer3.setEnabled(true);
    rig.loop.yield();  // not due yet
    QVERIFY(rig.display.calls.empty());
    rig.loop.now = 99;
    rig.loop.yield();  // due at 100: the tick runs the whole sweep run
    QVERIFY(!rig.timer3.enabled());
    QVERIFY(rig.state.flags.autoStarted);
    QCOMPARE(rig.display.calls.front(), std::string("layoutLegend"));
    QCOMPARE(rig.display.calls[1], std::string("drawScreen(0)"));
    QCOMPARE(rig.comm.wire, kEnterDialogue + sweepBytes(50));

    rig.display.calls.clear();
    rig.comm.wire.clear();
    rig.sweep.onTimer3Tick();
    QCOMPARE(rig.display.calls, (Strings{"layoutLegend", "drawScreen(-1)"}));
    QVERIFY(rig.comm.wire.empty());
}

QTEST_GUILESS_MAIN(SweepControllerTest)
#include "test_sweep_controller.moc"
