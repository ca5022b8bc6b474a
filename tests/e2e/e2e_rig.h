#pragma once

// What the end-to-end tests share: the analyzer's main window in this process on the real
// simulated radio (a kv3710-sim process on a pseudo-terminal), the simulator's wire log, and
// the failure message as pixels on the window.

#include <QStringList>
#include <ctime>
#include <functional>
#include <memory>
#include <vector>

#include "memory_settings_backend.h"
#include "app_doubles.h"
#include "main_window.h"
#include "qt_event_loop.h"
#include "serial_comm.h"
#include "settings_backend.h"
#include "sim_process.h"

namespace kv::e2e {

// One line of the simulator's wire log: bytes the analyzer sent or the radio sent, or an
// event; `ms` on the monotonic clock.
struct WireEntry {
    double ms = 0;
    bool toRadio = false;
    QByteArray bytes;
    QString event;
};

std::vector<WireEntry> readWireLog(const QString& path);
// The analyzer's writes that reached the radio from entry `from` on.
std::vector<WireEntry> sendsToRadio(const std::vector<WireEntry>& log, std::size_t from = 0);
// Every byte the analyzer sent from entry `from` on, in order.
QByteArray bytesToRadio(const std::vector<WireEntry>& log, std::size_t from = 0);
// Whether `needles` occur in `haystack` one after another.
bool containsInOrder(const QByteArray& haystack, const std::vector<QByteArray>& needles);

// Milliseconds on the monotonic clock, as the wire log's times.
inline double monotonicMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// The commands of the protocol as they appear on the wire.
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

// Steps polled every 10 ms from a timer, so that they run inside the sweep's own yields: the
// sweep runs nested in the window's first Timer3 tick and never returns to the test. A step
// returns true when it is done; the next one is polled from then on. Failed expectations are
// collected, as QVERIFY cannot return from the test function there.
class Script {
  public:
    Script& then(const QString& name, std::function<bool()> step);
    Script& thenDo(const QString& name, std::function<void()> action);
    void expect(bool condition, const QString& what);
    // Runs the steps, closes the window after the last and waits until the window is unloaded
    // and the sweep has returned to the outer event loop. A run longer than `timeoutMs` closes
    // the window and fails; so does a failed expectation.
    bool run(MainWindow& window, int timeoutMs);
    QString report() const;

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
    SharedState& state() { return window_->state(); }
    std::vector<WireEntry> wire() const { return readWireLog(sim.wireLogPath()); }

    // The failure message for COM1 at the default rate, as text and in pixels.
    bool messageShown() const;
    bool messageGone() const;
    // A sweep has ended since the last call to markSweep (or since the start).
    bool sweptSinceMark() const { return window_->state().lastSweepEnd != markedSweepEnd_; }
    void markSweep() { markedSweepEnd_ = window_->state().lastSweepEnd; }

    test::SimProcess sim;
    MemorySettingsBackend store;
    SerialComm comm{store};
    QtEventLoop loop;
    SystemLocalClock clock;
    test::RecordingMessages messages;
    test::NoDialogs dialogs;

  private:
    // Pixels in the message colour where the failure message is printed.
    int messagePixels() const;
    std::unique_ptr<MainWindow> window_;
    std::int32_t markedSweepEnd_ = 0;
};

}  // namespace kv::e2e
