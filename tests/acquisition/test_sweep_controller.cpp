// The Run command and the sweep loop, against the real radio link and a fake radio.
#include <QTest>

#include "sweep_rig.h"

using namespace kv;
using namespace kv::test;

namespace {

const std::string kEnter = std::string("AT+++\r") + "\xCC\x65";

// The real radio link and sweep controller on fake time, idle as the window load leaves it.
struct SweepRig : RadioRig {
    FakeTimer timer3{loop, SweepController::kTimer3IntervalMs};
    RecordingDisplay display;
    FakeLocalClock clock;
    SweepController sweep{state, radio, display, surface, loop, clock, timer3};
    std::vector<std::int64_t> passEnds;  // fake time of every drawTrace

    explicit SweepRig(std::int64_t clockStartMsOfDay = 12 * 3600000LL, int passes = 1)
        : clock(loop, clockStartMsOfDay) {
        state.flags.stopRequested = true;
        display.onCall = [this, passes](const std::string& name) {
            if (name != "trace") return;
            passEnds.push_back(loop.now);
            if (int(passEnds.size()) == passes) state.flags.stopRequested = true;
        };
    }
};

}  // namespace

class SweepControllerTest : public QObject {
    Q_OBJECT
  private slots:
    // Timer3's first tick starts the run; later ticks only redraw.
    void timer3StartsOneRunThenRedraws() {
        SweepRig rig;
        rig.timer3.setEnabled(true);
        rig.loop.now = 99;
        rig.loop.yield();  // due at 100
        QVERIFY(!rig.timer3.enabled());
        QCOMPARE(rig.comm.wire, kEnter + sweepBytes(50));
        rig.display.calls.clear();
        rig.comm.wire.clear();
        rig.sweep.onTimer3Tick();
        QCOMPARE(rig.display.calls, (std::vector<std::string>{"layout", "screen(clear)"}));
        QVERIFY(rig.comm.wire.empty());
    }

    void runIgnoredWhileInProgress() {
        SweepRig rig(12 * 3600000LL, 2);
        std::size_t wireBefore = 0;
        rig.loop.afterYields(3, [&] {  // within the first sweep
            wireBefore = rig.comm.wire.size();
            rig.sweep.run();
            QCOMPARE(rig.comm.wire.size(), wireBefore);
        });
        rig.comm.latencyMs = 1;
        rig.sweep.run();
        QVERIFY(wireBefore > 0);
        QCOMPARE(rig.comm.wire, kEnter + sweepBytes(50) + sweepBytes(50));
    }

    // An earlier run left the radio in command mode, where it ignores "AT+++": both first
    // attempts time out, the message is shown, the exit takes it out and it enters again.
    void runTakesTheRadioOutOfCommandMode() {
        SweepRig rig;
        rig.fake.commandMode = true;
        rig.sweep.run();
        QCOMPARE(rig.comm.wire,
                 "AT+++\rAT+++\rV\xCC"
                 "ATO\r" +
                     kEnter + sweepBytes(50));
        QCOMPARE(rig.sentAt[2], std::int64_t{4000});
        std::vector<Colour> colours;
        for (const auto& c : rig.surface.callsOf(RecordingSurface::Op::Print))
            if (!c.text.empty()) colours.push_back(c.colour);
        const auto& s = rig.state.settings;
        QCOMPARE(colours, (std::vector<Colour>{s.messageColor, s.backgroundColor}));
    }

    // Point 3's echo is wrong the first `failures` times; the sweep goes on either way.
    void failedPointRetriedOnce_data() {
        QTest::addColumn<int>("failures");
        QTest::newRow("retry succeeds") << 1;
        QTest::newRow("retry fails too") << 2;
    }
    void failedPointRetriedOnce() {
        QFETCH(int, failures);
        SweepRig rig;
        rig.fake.reading = [](int ch) { return static_cast<std::uint16_t>(ch == 3 ? 100 : 300); };
        int wrong = 0;
        rig.answerWith([&](std::string_view sent) {
            const std::string answer = rig.fake.answer(sent);
            return sent == channelCommand(3) && wrong++ < failures ? channelCommand(4) : answer;
        });
        rig.state.trace[3] = TracePoint{0, 0, 0, 1111, 2222, -66};
        rig.sweep.run();
        QCOMPARE(std::count(rig.comm.outputs.begin(), rig.comm.outputs.end(), channelCommand(3)),
                 std::ptrdiff_t{2});
        const TracePoint& p = rig.state.trace[3];
        QCOMPARE(p.amplitudeDb, failures == 1 ? -57.0 : -66.0);
        QCOMPARE(p.yOut, failures == 1 ? p.yIn : 0);
        QCOMPARE(rig.state.trace[4].amplitudeDb, -86.0);
        QCOMPARE(rig.state.trace[49].amplitudeDb, -86.0);
        QVERIFY(rig.state.texts.commMessage.empty());
    }

    void viewOnlySendsNothing() {
        SweepRig rig(12 * 3600000LL, 6);
        rig.comm.latencyMs = 1;
        std::size_t wireAtSwitch = 0;
        rig.display.onCall = [&, inner = rig.display.onCall](const std::string& name) {
            inner(name);
            if (rig.passEnds.size() != 2 || name != "trace") return;
            rig.state.flags.viewOnly = true;
            wireAtSwitch = rig.comm.wire.size();
        };
        rig.sweep.run();
        QCOMPARE(rig.comm.wire.size(), wireAtSwitch);
        QCOMPARE(rig.display.count("markers"), 6);
        QCOMPARE(rig.passEnds.back() - rig.passEnds[2], std::int64_t{3});  // a yield a pass
    }

    // Three sweeps of 100 exchanges of 1 ms and one yield, the clock starting at the given time.
    void sweepTime_data() {
        QTest::addColumn<qint64>("clockStart");
        QTest::newRow("midday") << qint64{12 * 3600000};
        QTest::newRow("across midnight") << qint64{24 * 3600000 - 150};
    }
    void sweepTime() {
        QFETCH(qint64, clockStart);
        SweepRig rig(clockStart, 3);
        rig.comm.latencyMs = 1;
        rig.sweep.run();
        QCOMPARE(rig.state.texts.sweepTimeText, std::string("Sweep Time (mS): 101"));
        QCOMPARE(rig.state.texts.previousSweepTimeText, std::string("Sweep Time (mS): 101"));
    }

    // A layout change during a sweep is honoured once, after the sweep.
    void layoutChangeHonouredAfterTheSweep() {
        SweepRig rig(12 * 3600000LL, 2);
        rig.answerWith([&](std::string_view sent) {
            if (sent == channelCommand(20) && rig.passEnds.empty())
                rig.state.flags.layoutChanged = true;
            return rig.fake.answer(sent);
        });
        std::size_t wireAtLayout = 0;
        rig.display.onCall = [&, inner = rig.display.onCall](const std::string& name) {
            inner(name);
            if (name == "layout") wireAtLayout = rig.comm.wire.size();
        };
        rig.sweep.run();
        QCOMPARE(wireAtLayout, (kEnter + sweepBytes(50)).size());
        QCOMPARE(rig.display.count("layout"), 1);
        QVERIFY(!rig.state.flags.layoutChanged);
    }

    // A stop is handled in a yield at `stopAt`; Run returns from there. A stopped enter is
    // still followed by the exit of the retry or recovery loop, which gives up after one yield.
    void stopEndsRunWithinOneExchange_data() {
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
    void stopEndsRunWithinOneExchange() {
        QFETCH(int, latency);
        QFETCH(int, silentFrom);
        QFETCH(bool, portOpen);
        QFETCH(int, stopAt);
        QFETCH(QByteArray, sentAfterStop);
        SweepRig rig(12 * 3600000LL, 1000);
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
        QCOMPARE(rig.loop.now, std::int64_t{stopAt + sentAfterStop.size()});
        QVERIFY(rig.passEnds.empty());
    }
};

QTEST_GUILESS_MAIN(SweepControllerTest)
#include "test_sweep_controller.moc"
