#pragma once

// What the end-to-end tests share: the analyzer's main window in this process on the real
// simulated radio (a kv3710-sim process on a pseudo-terminal), the simulator's wire log, and
// the failure message as pixels on the window.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "memory_settings_backend.h"
#include "app_doubles.h"
#include "main_window.h"
#include "qt_event_loop.h"
#include "serial_comm.h"
#include "settings_backend.h"
#include "sim_process.h"

namespace kv::e2e {

// One line of the simulator's wire log: bytes that crossed the line, or an event.
struct WireEntry {
    enum class Kind { ToRadio, FromRadio, Event };
    double ms = 0;
    Kind kind = Kind::Event;
    QByteArray bytes;
    QString event;
};

std::vector<WireEntry> readWireLog(const QString& path);
// Every byte the analyzer sent from entry `from` on, in order.
QByteArray bytesToRadio(const std::vector<WireEntry>& log, std::size_t from = 0);
// The analyzer's writes that reached the radio from entry `from` on.
std::vector<WireEntry> sendsToRadio(const std::vector<WireEntry>& log, std::size_t from = 0);
// The first event entry at or after `from` whose text starts with `prefix`, or log.size().
std::size_t findEvent(const std::vector<WireEntry>& log, const QString& prefix,
                      std::size_t from = 0);
// Whether `needles` occur in `haystack` one after another.
bool containsInOrder(const QByteArray& haystack, const std::vector<QByteArray>& needles);

// The commands of the protocol as they appear on the wire.
namespace wire {
inline const QByteArray kEnter("AT+++\r");
inline const QByteArray kConfirm("\xCC\x65", 2);
inline const QByteArray kExit("V");
inline const QByteArray kResume("\xCC\x41\x54\x4F\x0D", 5);
inline const QByteArray kLevel("\x21\x02", 2);
QByteArray channel(int point);
}  // namespace wire

// Failed expectations met inside the sweep's yields, where QVERIFY cannot return from the
// test function; reported once the run is over.
class Checks {
  public:
    void expect(bool condition, const QString& what) {
        if (!condition && !failures_.contains(what)) failures_ << what;
    }
    bool ok() const { return failures_.isEmpty(); }
    QString report() const { return failures_.join(QStringLiteral("; ")); }

  private:
    QStringList failures_;
};

// Steps polled every 10 ms from a timer, so that they run inside the sweep's own yields: the
// sweep runs nested in the window's first Timer3 tick and never returns to the test. A step
// returns true when it is done; the next one is polled from then on.
class Script {
  public:
    Script& then(const QString& name, std::function<bool()> step);
    Script& thenDo(const QString& name, std::function<void()> action);
    // Runs the steps, closes the window after the last (unless a step did) and waits until the
    // window is unloaded and the sweep has returned to the outer event loop. A run longer than
    // `timeoutMs` closes the window and fails.
    bool run(MainWindow& window, int timeoutMs);
    QString stoppedAt() const;

  private:
    struct Step {
        QString name;
        std::function<bool()> poll;
    };
    std::vector<Step> steps_;
    std::size_t next_ = 0;
};

// CPU time this process has used, user and system.
double processCpuSeconds();
// Milliseconds on the monotonic clock.
double monotonicMs();

// The analyzer's main window in this process on one simulated radio, reached as COM1 through
// the simulator's link. The message colour is one that nothing else on the window uses.
class Rig {
  public:
    static constexpr Colour kMessageColour = 0x00FFFF;  // yellow

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
    bool sweptSinceMark() const;
    void markSweep();

    test::SimProcess sim;
    MemorySettingsBackend store;
    SerialComm comm{store};
    QtEventLoop loop;
    SystemLocalClock clock;
    test::RecordingMessages messages;
    test::NoDialogs dialogs;

  private:
    int messagePixels() const;
    std::unique_ptr<MainWindow> window_;
    std::int32_t markedSweepEnd_ = 0;
};

}  // namespace kv::e2e
