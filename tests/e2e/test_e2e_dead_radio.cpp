// A radio that never answers, from the start: the failure message on the window, the endless
// command-mode retries on the wire, a window that keeps answering keys while the waits run,
// and Exit within one exchange.
#include <QAction>
#include <QApplication>
#include <QtTest>

#include "e2e_rig.h"
#include "surface_view.h"

using namespace kv;
using namespace kv::e2e;
using namespace std::chrono_literals;

class TestE2eDeadRadio : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void retriesUntilExitAndStaysResponsive() {
        Rig rig;
        QVERIFY(rig.start({"--fault", "dead:0"}));
        MainWindow& w = rig.open();
        KeyProbe probe(w.view(), Qt::Key_F7, 100ms);
        Checks checks;
        double exitAt = 0;
        Script script;
        script.thenDo("start probing", [&] { probe.start(); })
            .then("failure message shown", [&] { return rig.messageShown(); })
            .then("retry loop gone round once",
                  [&] {
                      checks.expect(rig.messageShown(), "message stays up during the retries");
                      // Enter, Enter, Exit, Enter.
                      return sendsToRadio(rig.wire()).size() >= 4;
                  })
            .thenDo("Exit", [&] {
                exitAt = monotonicMs();
                w.findChild<QAction*>("Main_Exit")->trigger();
            });
        QVERIFY2(script.run(w, 30000), qPrintable(script.stoppedAt()));
        const double exitMs = monotonicMs() - exitAt;
        probe.stop();
        QVERIFY2(checks.ok(), qPrintable(checks.report()));
        qInfo("%d key presses, worst wait %.1f ms; Exit ended the sweep in %.1f ms",
              probe.delivered(), probe.worstMs(), exitMs);

        const auto sends = sendsToRadio(rig.wire());
        QVERIFY(sends.size() >= 5);
        const std::vector<QByteArray> retries{wire::kEnter, wire::kEnter, wire::kExit,
                                              wire::kEnter};
        for (std::size_t i = 0; i < retries.size(); ++i) {
            QCOMPARE(sends[i].bytes, retries[i]);
            // Each attempt waits out its 2000 ms reply time; nothing is sent in between.
            if (i > 0)
                QVERIFY2(sends[i].ms - sends[i - 1].ms >= 1900, qPrintable(QString::number(i)));
        }
        // After Exit only the unload's exit request goes out, abandoned after its first byte.
        std::vector<QByteArray> afterExit;
        for (const auto& s : sends)
            if (s.ms >= exitAt) afterExit.push_back(s.bytes);
        QCOMPARE(afterExit, std::vector<QByteArray>{wire::kExit});
        QVERIFY2(exitMs < 2000, qPrintable(QString("exit took %1 ms").arg(exitMs)));

        QVERIFY(probe.delivered() >= 20);
        QVERIFY2(probe.worstMs() < 100,
                 qPrintable(QString("a key waited %1 ms").arg(probe.worstMs())));
        QVERIFY(!rig.comm.portOpen());
        QCOMPARE(rig.store.writes.size(), std::size_t{5});
        QCOMPARE(rig.sim.stat("answered"), 0);
    }
};

QTEST_MAIN(TestE2eDeadRadio)
#include "test_e2e_dead_radio.moc"
