#pragma once

// What the end-to-end tests share: the analyzer's main window in this process on the real
// simulated radio (a kv3710-sim process on a pseudo-terminal), the simulator's wire log, the
// failure message as pixels on the window, and probes of how quickly the window answers.

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app_doubles.h"
#include "common_dialogs.h"
#include "main_window.h"
#include "message_box.h"
#include "qt_event_loop.h"
#include "serial_comm.h"
#include "settings_backend.h"
#include "sim_process.h"

class QWidget;

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
// The first event entry whose text starts with `prefix`, or log.size().
std::size_t findEvent(const std::vector<WireEntry>& log, const QString& prefix);
// The entries of the analyzer's sends from `from` on, one per write that reached the radio.
std::vector<WireEntry> sendsToRadio(const std::vector<WireEntry>& log, std::size_t from = 0);
// Whether `needles` occur in `haystack` one after another.
bool containsInOrder(const QByteArray& haystack, const std::vector<QByteArray>& needles);

// The commands of the protocol as they appear on the wire.
namespace wire {
inline const QByteArray kEnter("AT+++\r");
inline const QByteArray kConfirm("\xCC\x65", 2);
inline const QByteArray kExit("V");
inline const QByteArray kResume(
    "\xCC"
    "ATO\r",
    5);
inline const QByteArray kLevel("\x21\x02", 2);
QByteArray channel(int point);
}  // namespace wire

using RecordingMessages = kv::test::RecordingMessages;
using NoDialogs = kv::test::NoDialogs;

// Failed expectations met inside the sweep's yields, where QVERIFY cannot return from the
// test function; reported once the run is over.
class Checks {
  public:
    void expect(bool condition, const QString& what);
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

// Posts key presses to a widget from another thread at a steady pace and records how long each
// waited before the window's event loop delivered it.
class KeyProbe : public QObject {
  public:
    KeyProbe(QWidget* target, int qtKey, std::chrono::milliseconds period);
    ~KeyProbe() override;
    void start();
    void stop();
    int delivered() const { return delivered_; }
    double worstMs() const { return worstMs_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget* target_;
    int key_;
    std::chrono::milliseconds period_;
    std::thread poster_;
    std::atomic<bool> running_{false};
    int delivered_ = 0;
    double worstMs_ = 0;
};

// The real kv3710-analyzer in a child process, drawing offscreen, with its settings in
// `configHome` (as XDG_CONFIG_HOME). True once it runs.
bool startAnalyzer(QProcess& process, const QString& configHome);
// The analyzer's settings file under `configHome`.
QString settingsFile(const QString& configHome);
// A settings file that maps COM1 to `device` and holds `settings` lines in its [Settings].
bool writeSettingsFile(const QString& path, const QString& device, const QByteArray& settings);

// CPU time this process has used, user and system.
double processCpuSeconds();
// Milliseconds on the monotonic clock.
double monotonicMs();

// The analyzer's main window in this process on one simulated radio, reached as COM1 through
// the simulator's link. The message colour is one that nothing else on the window uses.
class Rig {
  public:
    static constexpr Colour kMessageColour = 0x00FFFF;  // yellow
    static constexpr int kMinMessagePixels = 100;

    Rig();
    ~Rig();
    // Starts the simulator with its wire log and `simOptions`.
    bool start(const QStringList& simOptions = {});
    void set(const std::string& key, const std::string& value);
    MainWindow& open();
    MainWindow& window() { return *window_; }
    SharedState& state() { return window_->state(); }

    QString wireLogPath() const;
    std::vector<WireEntry> wire() const { return readWireLog(wireLogPath()); }

    // The failure message for COM1 at the default rate.
    std::string expectedMessage() const;
    // Pixels in the message colour where the failure message is printed.
    int messagePixels() const;
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
    RecordingMessages messages;
    NoDialogs dialogs;

  private:
    std::unique_ptr<MainWindow> window_;
    std::int32_t markedSweepEnd_ = 0;
};

}  // namespace kv::e2e
