// The radio falls silent in the middle of a sweep for five seconds and comes back: the failure
// message appears, the recovery brings the radio back into command mode, the message goes, and
// the sweep carries on from the point that failed.
#include <QApplication>
#include <QtTest>

#include "e2e_rig.h"

using namespace kv;
using namespace kv::e2e;

class TestE2eSilentRadio : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void recoversAfterFiveSilentSeconds() {
        Rig rig;
        QVERIFY(rig.start());
        MainWindow& w = rig.open();
        Checks checks;
        double silentAt = 0;
        double shownAt = 0;
        Script script;
        script.then("sweeping", [&] { return rig.state().lastSweepEnd != 0; })
            .thenDo("radio falls silent",
                    [&] {
                        QCOMPARE(rig.sim.command("dead 5000"), QString("ok"));
                        silentAt = monotonicMs();
                        rig.markSweep();
                    })
            .then("failure message shown",
                  [&] {
                      if (!rig.messageShown()) return false;
                      shownAt = monotonicMs();
                      return true;
                  })
            .then("message gone and a sweep finished", [&] {
                const bool recovered = rig.messageGone() && rig.sweptSinceMark();
                if (!recovered) checks.expect(!rig.sweptSinceMark(), "no sweep ends while silent");
                return recovered;
            });
        QVERIFY2(script.run(w, 30000), qPrintable(script.stoppedAt()));
        QVERIFY2(checks.ok(), qPrintable(checks.report()));
        const double recoveredMs = monotonicMs() - silentAt;
        qInfo("message after %.0f ms, sweeping again after %.0f ms", shownAt - silentAt,
              recoveredMs);
        // The message waits for the 2000 ms reply time; the sweep for the radio's return.
        QVERIFY(shownAt - silentAt >= 1900);
        QVERIFY(recoveredMs >= 5000);

        const auto log = rig.wire();
        const std::size_t silence = findEvent(log, "dead 5000");
        QVERIFY(silence < log.size());
        const auto sends = sendsToRadio(log, silence);
        QVERIFY(!sends.empty());
        // The command that went unanswered, and the point it belonged to.
        const QByteArray lost = sends.front().bytes;
        int point = -1;
        if (lost.startsWith('\xB1')) {
            point = static_cast<unsigned char>(lost[1]);
        } else {
            QCOMPARE(lost, wire::kLevel);
            const QByteArray before = bytesToRadio(log, 0).left(bytesToRadio(log, 0).size() -
                                                                bytesToRadio(log, silence).size());
            point = static_cast<unsigned char>(before[before.lastIndexOf('\xB1') + 1]);
        }
        QVERIFY(point >= 0 && point < 50);
        const int nextPoint = (point + 1) % 50;
        // Recovery: the radio is taken out of command mode and put back in; then the failed
        // point is measured again and the sweep goes on with the next one.
        QVERIFY(containsInOrder(
            bytesToRadio(log, silence),
            {lost, wire::kEnter, wire::kExit, wire::kResume, wire::kEnter, wire::kConfirm,
             wire::channel(point), wire::kLevel, wire::channel(nextPoint), wire::kLevel}));
        // The lost command and the exit request sent while it was silent (a repeated command-mode
        // request is not even a command to a radio in command mode).
        QVERIFY(rig.sim.stat("unanswered") >= 2);
    }
};

QTEST_MAIN(TestE2eSilentRadio)
#include "test_e2e_silent_radio.moc"
