// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the end-to-end tests share: the analyzer's window in this process on a kv3710-sim, the
// bytes that reached the radio, the failure message in pixels, the real program's clean close.

#include <QProcess>
#include <QStringList>
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

// Every byte that reached the radio, from the simulator's wire log.
QByteArray sentToRadio(const QString& wireLog);
// Whether `needles` occur in `haystack` one after another.
bool containsInOrder(const QByteArray& haystack, const std::vector<QByteArray>& needles);

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

// Settings that load as the defaults but are written back in another form at exit.
inline const QByteArray kOldSettings =
    "Port=0.0\nCenter Frequency=915.0\nSpan=26.00\nAmplitude=-40.0\nAttenuator=-0\n"
    "Graph Top=500\n";
// The last bytes sent took the radio out of command mode (56, then CC 41 54 4F 0D) and it left.
bool radioReleased(test::SimProcess& sim);
// The file holds the five new values and kept the keys the program does not write.
bool holdsNewSettings(const QString& file, const QString& device);
// Empty when the real program ended normally after releasing the radio and saving; else what
// went wrong.
QString closedCleanly(QProcess& analyzer, test::SimProcess& sim, const QString& file);

// Steps polled every 10 ms from a timer, so that they run inside the sweep, which runs nested
// in the window's first Timer3 tick and never returns to the test. A step returns true when
// done; failed expectations are collected, as QVERIFY cannot return from there.
class Script {
  public:
    Script& then(const QString& name, std::function<bool()> step);
    Script& thenDo(const QString& name, const std::function<void()>& action);
    void expect(bool condition, const QString& what);
    // Runs the steps, closes the window and waits until the sweep has returned; false on a
    // failed expectation or after `timeoutMs`.
    bool run(MainWindow& window, int timeoutMs);
    QString report() const { return failures_.join(QStringLiteral("; ")); }

  private:
    std::vector<std::pair<QString, std::function<bool()>>> steps_;
    QStringList failures_;
};

// The analyzer's main window in this process on one simulated radio, reached as COM1 through
// the simulator's link. The message colour is one that nothing else on the window uses.
class Rig {
  public:
    Rig();
    bool start(const QStringList& simOptions = {});
    // `beforeLoad` runs on the window before its load (a source chosen on the command line).
    MainWindow& open(const std::function<void(MainWindow&)>& beforeLoad = {});
    MainWindow& window() { return *window_; }
    SharedState& state() { return window_->state(); }
    QByteArray sent() const { return sentToRadio(sim.wireLogPath()); }

    // The failure message for COM1 at the default rate (or `text`), as text and in pixels.
    bool messageShown() const;
    bool messageShown(const std::string& text) const;
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
    SystemClock clock;
    test::RecordingMessages messages;
    test::ScriptedDialogs dialogs;

  private:
    std::unique_ptr<MainWindow> window_;  // last: it goes first
    std::int32_t markedSweepEnd_ = 0;
};

}  // namespace kv::e2e
