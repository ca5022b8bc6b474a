// SPDX-License-Identifier: GPL-3.0-or-later
// The Run command and the sweep loop, against the real radio link and a fake radio.
#include <QTest>
#include <cstring>

#include <cmath>

#include "radio_rig.h"
#include "recording_display.h"
#include "sweep_controller.h"
#include "sweep_history.h"
#include "waterfall_rows.h"

using namespace kv;
using namespace kv::test;

namespace {

const std::string kEnter = std::string("AT+++\r") + "\xCC\x65";

std::string sweepBytes() {
    std::string out;
    for (int i = 0; i < 50; ++i) out += channelCommand(i) + "\x21\x02";
    return out;
}

// The real radio link and sweep on fake time, idle as after the window's load; stops at a pass.
struct SweepRig : RadioRig {
    explicit SweepRig(int passes = 1, std::int64_t clockStartMsOfDay = 12 * 3600000LL)
        : clock(loop, clockStartMsOfDay) {
        state.flags.stopRequested = true;
        display.onCall = [this, passes](const QString& name) {
            if (name != "trace") return;
            passEnds.push_back(loop.now);
            if (int(passEnds.size()) == passes) state.flags.stopRequested = true;
        };
    }
    FakeTimer timer3{loop, SweepController::kTimer3IntervalMs};
    RecordingDisplay display;
    FakeClock clock;
    SweepController sweep{state, session, display, surface, loop, clock, timer3};
    std::vector<std::int64_t> passEnds;  // fake time of every drawTrace
};

}  // namespace

class SweepControllerTest : public QObject {
    Q_OBJECT
  private slots:
    // Left in command mode, the radio ignores "AT+++" twice; message, exit, enter again.
    void runTakesTheRadioOutOfCommandMode() {
        SweepRig rig;
        rig.fake.commandMode = true;
        rig.sweep.run();
        QCOMPARE(rig.comm.wire, "AT+++\rAT+++\rV\xCC\x41TO\r" + kEnter + sweepBytes());
        QCOMPARE(rig.sentAt[2], std::int64_t{4000});
        std::vector<Colour> colours;
        for (const auto& c : rig.surface.callsOf(RecordingSurface::Op::Print))
            if (!c.text.empty()) colours.push_back(c.colour);
        QCOMPARE(colours, (std::vector<Colour>{rig.state.settings.messageColor,
                                               rig.state.settings.backgroundColor}));
    }

    // Point 3's echo is wrong the first `failures` times; the sweep goes on either way.
    void failedPointRetriedOnce() {
        for (int failures : {1, 2}) {
            SweepRig rig;
            rig.fake.reading = [](int ch) { return std::uint16_t(ch == 3 ? 100 : 300); };
            int wrong = 0;
            rig.answerWith([&](std::string_view sent) {
                const std::string answer = rig.fake.answer(sent);
                return sent == channelCommand(3) && wrong++ < failures ? channelCommand(4) : answer;
            });
            rig.state.trace[3] = TracePoint{0, 0, 0, 1111, 2222, -66};
            rig.sweep.run();
            QCOMPARE(std::ranges::count(rig.comm.outputs, channelCommand(3)), std::ptrdiff_t{2});
            const TracePoint& p = rig.state.trace[3];
            QCOMPARE(p.amplitudeDb, failures == 1 ? -57.0 : -66.0);
            QCOMPARE(p.yOut, failures == 1 ? p.yIn : 0);
            QVERIFY(rig.state.trace[4].amplitudeDb == -86 &&
                    rig.state.trace[49].amplitudeDb == -86);
            QVERIFY(rig.state.texts.commMessage.empty());
        }
    }

    // Timer3's tick starts six passes across midnight, the time of day stepped back an hour
    // after the first (the sweep time is not); a Run meanwhile does nothing, a layout change is
    // honoured once after its pass. View only after the second sends nothing and draws again
    // only when a marker moves, however often the loop wakes; the sweep after it times itself,
    // not the pause.
    void passes() {
        SweepRig rig(6, 24 * 3600000LL - 250);
        rig.comm.latencyMs = 1;
        std::size_t wireAtLayout = 0, wireAtViewOnly = 0, wireAfterViewOnly = 0;
        std::int64_t viewOnlyFrom = 0;
        std::string timeAfterViewOnly;
        rig.answerWith([&](std::string_view sent) {
            if (sent == channelCommand(20) && rig.passEnds.empty())
                rig.state.flags.layoutChanged = true;
            return rig.fake.answer(sent);
        });
        rig.display.onCall = [&, inner = rig.display.onCall](const QString& name) {
            if (name == "layout") wireAtLayout = rig.comm.wire.size();
            inner(name);
            if (name != "trace") return;
            const std::size_t pass = rig.passEnds.size();
            if (pass == 1) rig.clock.stepMs = -3600000;
            if (pass == 2) {
                QCOMPARE(rig.state.texts.sweepTimeText, std::string("Sweep Time (mS): 101"));
                rig.state.flags.viewOnly = true;
                wireAtViewOnly = rig.comm.wire.size();
                viewOnlyFrom = rig.loop.now;
                rig.loop.at(viewOnlyFrom + 5000, [&] { rig.state.markers.marker[0] = 9; });
                rig.loop.at(viewOnlyFrom + 10000, [&] {
                    rig.state.flags.viewOnly = false;
                    wireAfterViewOnly = rig.comm.wire.size();
                });
            }
            if (pass == 4) timeAfterViewOnly = rig.state.texts.sweepTimeText;
        };
        rig.loop.afterYields(3, [&] { rig.sweep.run(); });
        rig.timer3.setEnabled(true);
        rig.loop.now = 99;
        rig.loop.yield();  // due at 100
        QVERIFY(!rig.timer3.enabled());
        QCOMPARE(rig.comm.wire.substr(0, wireAtViewOnly), kEnter + sweepBytes() + sweepBytes());
        QCOMPARE(wireAtLayout, (kEnter + sweepBytes()).size());
        QCOMPARE(rig.display.calls.count("layout"), 2);  // the tick's and the change's
        QVERIFY(!rig.state.flags.layoutChanged);
        QCOMPARE(wireAfterViewOnly, wireAtViewOnly);
        QCOMPARE(rig.display.calls.count("markers"), 6);
        // Woken by the reopen timer every second, it drew again only for the marker.
        QCOMPARE(rig.passEnds[2], viewOnlyFrom + 5000);
        QVERIFY(rig.passEnds[3] > viewOnlyFrom + 10000);
        QCOMPARE(timeAfterViewOnly, std::string("Sweep Time (mS): 100"));
        QCOMPARE(rig.state.texts.sweepTimeText, std::string("Sweep Time (mS): 101"));
    }

    // A stop is handled in the yield at `stopAt` (also mid-pass with blocking waits); a stopped
    // enter is still followed by the exit of the retry or recovery loop, given one yield.
    void stopEndsRunWithinOneExchange() {
        for (const auto& [latency, blocking, silentFrom, portOpen, stopAt, sentAfterStop] :
             {std::tuple{7, false, -1, true, 333, ""},
              {3, true, -1, true, 150, ""},
              {0, false, 0, true, 3000, "V"},
              {0, false, 50, true, 7000, "V"},
              {0, false, -1, false, 9000, ""}}) {
            SweepRig rig(1000);
            rig.comm.latencyMs = latency;
            rig.comm.blockingWaits = blocking;
            rig.comm.setPortOpen(portOpen);
            rig.answerWith([&, silentFrom = silentFrom](std::string_view sent) {
                const bool silent = silentFrom >= 0 && int(rig.sentAt.size()) > silentFrom;
                return silent ? std::string{} : rig.fake.answer(sent);
            });
            std::size_t wireAtStop = 0;
            rig.loop.at(stopAt, [&] {
                rig.state.flags.stopRequested = true;
                wireAtStop = rig.comm.wire.size();
            });
            rig.sweep.run();
            QCOMPARE(rig.comm.wire.substr(wireAtStop), std::string(sentAfterStop));
            QCOMPARE(rig.loop.now, std::int64_t(stopAt + std::strlen(sentAfterStop)));
            QVERIFY(rig.passEnds.empty());
        }
    }

    // Waits that block on the port until the reply: a key still gets its yield in the middle of
    // the pass, and sees every point before the one in progress updated and that one not yet.
    void keySeesWholePointsMidPass() {
        SweepRig rig;
        rig.comm.latencyMs = 3;
        rig.comm.blockingWaits = true;
        long sent = -1, updated = -1;
        rig.loop.at(150, [&] {
            sent = std::count(rig.comm.outputs.begin(), rig.comm.outputs.end(), "\x21\x02");
            updated = std::count_if(rig.state.trace.begin(), rig.state.trace.end(),
                                    [](const TracePoint& p) { return p.yOut != 0; });
        });
        rig.sweep.run();
        QVERIFY2(sent > 0 && sent < 50, qPrintable(QString::number(sent)));
        QVERIFY(updated == sent || updated == sent - 1);
    }

    // A change of the reference level or the attenuator keeps the band; centre, span and point
    // count make a new one, whose history starts afresh.
    void settingsTellWhetherTheBandIsNew() {
        SweepRig rig;
        struct : SweepSink {
            void sweepEnded(const Sweep&) override {}
            void settingsApplied(const SettingValues&, bool newBand) override {
                seen.push_back(newBand);
            }
            std::vector<bool> seen;
        } observer;
        rig.sweep.sinks().add(observer);
        for (const SettingsChange& change : std::vector<SettingsChange>{
                 [](SettingValues& s) { s.amplitude -= 10, s.attenuator = 3; },
                 [](SettingValues& s) { s.span /= 2; },
                 [](SettingValues& s) { s.centerFrequency += 1; },
                 [](SettingValues& s) { s.numberOfPoints = 30; }})
            rig.sweep.requestSettings(change);
        QCOMPARE(observer.seen, (std::vector<bool>{false, true, true, true}));
    }

    // Below a reference level of -80 dB a -50 dB carrier reaches the average and the sinks
    // as measured; only the trace holds it one dB short of the graph's top.
    void sinksGetTheLevelAsMeasured() {
        SweepRig rig;
        rig.state.settings.amplitude = -80;
        rig.fake.reading = [](int) { return std::uint16_t{51}; };  // -50 dB
        std::vector<double> given;
        rig.sweep.setTraceLevel([&](int, double db) { return given.push_back(db), db; });
        SweepHistory sink;
        rig.sweep.sinks().add(sink);
        rig.sweep.run();
        QCOMPARE(given, std::vector<double>(50, -50));
        QVERIFY(sink.size() == 1 && std::ranges::count(sink.levels(0), -50.0f) == 50);
        const TracePoint& p = rig.state.trace[7];
        QCOMPARE(std::tuple(p.amplitudeDb, p.yOut),
                 std::tuple(-82.0, levelToY(rig.state.settings, -82, rig.surface.scaleHeight())));
    }

    // Once full, the ring holds the newest sweeps; a failed point counts in no mean.
    void historyKeepsTheNewest() {
        SweepHistory history(3);
        for (int k = 0; k < 5; ++k)
            history.add({}, std::vector<double>{double(k), k == 3 ? std::nan("") : -k});
        QCOMPARE(history.size(), std::size_t{3});
        QCOMPARE(history.levels(0)[0], 4.0f);
        QCOMPARE(history.levels(2)[0], 2.0f);
        QCOMPARE(history.meanWith(10, 1, 3), 3.0);
        // Sweeps begun in one second make one row: their maximum, or their mean power in dB.
        for (const auto& [rowTime, first] : {std::pair{kRowTimes[1], -50L}, {kRowTimes[2], -53L}}) {
            WaterfallRows rows(history);
            rows.setRowTime(rowTime);  // anew from the three held, begun at one time
            QVERIFY(rows.add({1970, 1, 1, 0, 0, 1}, std::vector<double>{-50, std::nan("")}));
            QVERIFY(!rows.add({1970, 1, 1, 0, 0, 1}, std::vector<double>{-90, -60}));
            QCOMPARE(rows.rows().size(), std::size_t{2});
            QCOMPARE(std::lround(rows.rows().levels(0)[0]), first);
            QCOMPARE(rows.rows().levels(0)[1], -60.0f);
        }
    }
};

QTEST_GUILESS_MAIN(SweepControllerTest)
#include "test_sweep_controller.moc"
