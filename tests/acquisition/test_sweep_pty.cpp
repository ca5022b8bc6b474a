// The radio link and the sweep over a real pseudo-terminal, with the simulated radio process at
// the far end injecting a wrong echo, and the real serial control, timers and event loop.
#include <QTest>
#include <QTimer>

#include "memory_settings_backend.h"
#include "qt_event_loop.h"
#include "qt_timer.h"
#include "serial_comm.h"
#include "settings_backend.h"
#include "sim_process.h"
#include "sweep_rig.h"

using namespace kv;
using namespace kv::test;

class SweepPtyTest : public QObject {
    Q_OBJECT
  private slots:
    void sweepsUntilStopped() {
        SimProcess sim;
        QVERIFY(sim.start({"--baud", "115200", "--noise-spread", "0", "--carrier", "20:-50:3",
                           "--fault", "wrong-echo:60"}));
        MemorySettingsBackend store;
        store.write("Ports", "COM1", sim.linkPath().toStdString());
        SerialComm comm(store);
        QVERIFY(comm.setCommPort(1) && comm.setSettings("115200,n,8,1"));
        QVERIFY2(comm.setPortOpen(true), comm.lastError().c_str());
        comm.setHandshaking(0);
        comm.setRtsEnable(false);

        SharedState state = defaultState();
        state.flags.stopRequested = true;
        QtTimer timer1(Radio::kReplyTimeoutMs);
        QtTimer timer3(SweepController::kTimer3IntervalMs);
        QtEventLoop loop;
        RecordingSurface surface;
        RecordingDisplay display;
        SystemLocalClock clock;
        Display screen(state, surface);
        Radio radio(state, comm, timer1, loop, screen);
        SweepController sweep(state, radio, display, surface, loop, clock, timer3);

        // After three sweeps a timer requests the stop; a guard ends a run that never gets there.
        QTimer stopper;
        stopper.setSingleShot(true);
        QObject::connect(&stopper, &QTimer::timeout, [&] { state.flags.stopRequested = true; });
        display.onCall = [&](const std::string& name) {
            if (name == "trace" && display.count("trace") == 3) stopper.start(20);
        };
        QTimer::singleShot(60000, [&] { state.flags.stopRequested = true; });
        sweep.run();

        // The stop is seen at the next yield: within the sweep after it at the latest.
        QVERIFY(display.count("trace") >= 3 && display.count("trace") <= 4);
        QCOMPARE(sim.stat("wrong-echo"), 1);
        QCOMPARE(state.trace[20].amplitudeDb, -50.0);
        QCOMPARE(state.trace[30].amplitudeDb, -95.0);  // the point whose echo was wrong
        QVERIFY(state.texts.sweepTimeText.starts_with("Sweep Time (mS): "));
        QVERIFY(state.texts.commMessage.empty());
        // The radio is still in command mode and leaves it on request.
        state.flags.stopRequested = false;
        QVERIFY(radio.exitCommandMode());
    }
};

QTEST_GUILESS_MAIN(SweepPtyTest)
#include "test_sweep_pty.moc"
