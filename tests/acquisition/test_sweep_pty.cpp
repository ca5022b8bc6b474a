// End to end: the radio link and the sweep over a real pseudo-terminal, with the simulated
// radio process at the far end, the real serial control, timers and event loop.
#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QTimer>

#include "qt_event_loop.h"
#include "qt_timer.h"
#include "serial_comm.h"
#include "settings_backend.h"
#include "sim_process.h"
#include "sweep_rig.h"

using namespace kv;
using namespace kv::test;

namespace {

// Passes everything to the real control and keeps a count of the commands sent.
class TappedComm : public CommControl {
  public:
    explicit TappedComm(CommControl& inner) : inner_(inner) {
        inner_.setOnComm([this] { raiseOnComm(); });
    }
    ~TappedComm() override { inner_.setOnComm(nullptr); }

    bool setCommPort(int n) override { return inner_.setCommPort(n); }
    int commPort() const override { return inner_.commPort(); }
    bool setSettings(std::string_view text) override { return inner_.setSettings(text); }
    std::string settings() const override { return inner_.settings(); }
    bool portOpen() const override { return inner_.portOpen(); }
    bool setPortOpen(bool open) override { return inner_.setPortOpen(open); }
    void setHandshaking(int mode) override { inner_.setHandshaking(mode); }
    void setRtsEnable(bool enable) override { inner_.setRtsEnable(enable); }
    void output(std::string_view bytes) override {
        ++commands;
        inner_.output(bytes);
    }
    std::string input() override { return inner_.input(); }
    void clearOutBuffer() override { inner_.clearOutBuffer(); }
    bool waitForInput(std::chrono::milliseconds limit) override {
        return inner_.waitForInput(limit);
    }

    int commands = 0;

  private:
    CommControl& inner_;
};

}  // namespace

class SweepPtyTest : public QObject {
    Q_OBJECT
  private slots:
    void sweepsUntilStopped();
};

void SweepPtyTest::sweepsUntilStopped() {
    test::SimProcess sim;
    QVERIFY(sim.start({"--baud", "115200", "--noise-spread", "0", "--carrier", "20:-50:3"}));
    MemorySettingsBackend store;
    store.values[{"Ports", "COM1"}] = sim.devicePath().toStdString();
    SerialComm serial(store);
    QVERIFY(serial.setCommPort(1));
    QVERIFY(serial.setSettings("115200,n,8,1"));
    QVERIFY2(serial.setPortOpen(true), serial.lastError().c_str());
    serial.setHandshaking(0);
    serial.setRtsEnable(false);
    TappedComm comm(serial);

    SharedState state = defaultState();
    state.flags.stopRequested = true;
    QtTimer timer1(Radio::kReplyTimeoutMs);
    QtTimer timer3(SweepController::kTimer3IntervalMs);
    QtEventLoop loop;
    RecordingSurface surface;
    RecordingDisplay display;
    SystemLocalClock clock;
    Radio radio(state, comm, timer1, loop, surface);
    SweepController sweep(state, radio, display, surface, loop, clock, timer3);

    // After four sweeps a timer requests the stop; a guard ends a run that never gets there.
    constexpr int kSweepsBeforeStop = 4;
    int commandsAtStop = -1;
    QTimer stopper;
    stopper.setSingleShot(true);
    stopper.setInterval(20);
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        commandsAtStop = comm.commands;
        state.flags.stopRequested = true;
    });
    display.onCall = [&](const std::string& name) {
        if (name == "drawTrace" && display.count("drawTrace") == kSweepsBeforeStop) stopper.start();
    };
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] { state.flags.stopRequested = true; });
    guard.start(60000);

    sweep.run();

    QVERIFY2(commandsAtStop >= 0, "the run did not reach its fourth sweep");
    QVERIFY(display.count("drawTrace") >= kSweepsBeforeStop);
    // The stop is seen at the next yield: at the latest after the rest of one sweep.
    QVERIFY(comm.commands - commandsAtStop <= 2 * 50);
    QCOMPARE(state.trace[20].amplitudeDb, -50.0);
    QCOMPARE(state.trace[0].amplitudeDb, -95.0);
    QVERIFY(state.texts.sweepTimeText.starts_with("Sweep Time (mS): "));
    QVERIFY(state.texts.commMessage.empty());

    // The radio is still in command mode and leaves it on request.
    state.flags.stopRequested = false;
    QVERIFY(radio.exitCommandMode());
}

QTEST_GUILESS_MAIN(SweepPtyTest)
#include "test_sweep_pty.moc"
