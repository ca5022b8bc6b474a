#pragma once

// What the end-to-end tests share: the analyzer's main window in this process on the real
// simulated radio (a kv3710-sim process on a pseudo-terminal), the simulator's wire log, the
// failure message as pixels on the window, and the real program's clean close.

#include <QProcess>
#include <QStringList>
#include <ctime>
#include <functional>
#include <memory>
#include <vector>

#include "app_doubles.h"
#include "fake_machine.h"
#include "main_window.h"
#include "memory_settings_backend.h"
#include "qt_event_loop.h"
#include "serial_comm.h"
#include "sim_process.h"

namespace kv::e2e {

// One write of the wire log: bytes to or from the radio; `ms` on the monotonic clock.
struct WireEntry {
    double ms = 0;
    bool toRadio = false;
    QByteArray bytes;
};

std::vector<WireEntry> readWireLog(const QString& path);
// The analyzer's writes that reached the radio from entry `from` on.
std::vector<WireEntry> sendsToRadio(const std::vector<WireEntry>& log, std::size_t from = 0);
QByteArray bytesToRadio(const std::vector<WireEntry>& log, std::size_t from = 0);
// Whether `needles` occur in `haystack` one after another.
bool containsInOrder(const QByteArray& haystack, const std::vector<QByteArray>& needles);

inline double monotonicMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

namespace wire {
inline const QByteArray kEnter("AT+++\r");
inline const QByteArray kConfirm("\xCC\x65", 2);
inline const QByteArray kExit("V");
inline const QByteArray kResume("\xCC\x41\x54\x4F\x0D", 5);
inline const QByteArray kLevel("\x21\x02", 2);
inline QByteArray channel(int point) {
    return QByteArray("\xB1") + char(point) + '\0';
}
}  // namespace wire

// Settings that load as the defaults but are written back in another form, so that each of the
// five keys the program writes at exit changes in the file.
inline const QByteArray kOldSettings =
    "Port=0.0\nCenter Frequency=915.0\nSpan=26.00\nAmplitude=-40.0\nAttenuator=-0\n"
    "Graph Top=500\n";
// The file holds the five new values and kept the keys the program does not write.
bool holdsNewSettings(const QString& file, const QString& device);
// The real program ended normally after taking the radio out of command mode (56, then
// CC 41 54 4F 0D) and saving: an empty text, or what went wrong.
QString closedCleanly(QProcess& analyzer, test::SimProcess& sim, const QString& file);

// Steps polled every 10 ms from a timer, so that they run inside the sweep's own yields: the
// sweep runs nested in the window's first Timer3 tick and never returns to the test. A step
// returns true when it is done. Failed expectations are collected, as QVERIFY cannot return
// from the test function there.
class Script {
  public:
    Script& then(const QString& name, std::function<bool()> step);
    Script& thenDo(const QString& name, std::function<void()> action);
    void expect(bool condition, const QString& what);
    // Runs the steps, then closes the window and waits until the sweep has returned to the
    // outer event loop. Fails on a failed expectation or after `timeoutMs`.
    bool run(MainWindow& window, int timeoutMs);
    QString report() const { return failures_.join(QStringLiteral("; ")); }

  private:
    std::vector<std::pair<QString, std::function<bool()>>> steps_;
    std::size_t next_ = 0;
    QStringList failures_;
};

// The analyzer's main window in this process on one simulated radio, reached as COM1 through
// the simulator's link. The message colour is one that nothing else on the window uses.
class Rig {
  public:
    Rig();
    ~Rig();
    bool start(const QStringList& simOptions = {});
    void set(const std::string& key, const std::string& value);
    MainWindow& open();
    MainWindow& window() { return *window_; }
    SharedState& state() { return window_->state(); }
    std::vector<WireEntry> wire() const { return readWireLog(sim.wireLogPath()); }

    // The failure message for COM1 at the default rate, as text and in pixels.
    bool messageShown() const;
    bool messageGone() const;
    // Pixels in the message colour where the message row shows `text`.
    int messagePixels(const std::string& text) const;
    // A sweep has ended since the last call to markSweep (or since the start).
    bool sweptSinceMark() const { return window_->state().lastSweepEnd != markedSweepEnd_; }
    void markSweep() { markedSweepEnd_ = window_->state().lastSweepEnd; }

    test::SimProcess sim;
    MemorySettingsBackend store;
    test::FakeMachine machine;
    SerialComm comm{store, machine};
    QtEventLoop loop;
    SystemLocalClock clock;
    test::RecordingMessages messages;
    test::ScriptedDialogs dialogs;

  private:
    std::unique_ptr<MainWindow> window_;
    std::int32_t markedSweepEnd_ = 0;
};

}  // namespace kv::e2e
