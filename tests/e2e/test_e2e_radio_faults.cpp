// One bad reply in the middle of the first sweep (a wrong echo, stray bytes after the echo, a
// cut level reply, garbage before a reply, a reply later than the 2000 ms wait): the failure
// message shows while the point keeps its old value, the recovery puts the radio back into
// command mode, the point is measured again, the message goes and the sweep goes on.
#include <QApplication>
#include <QtTest>

#include "e2e_rig.h"

using namespace kv;
using namespace kv::e2e;

namespace {
constexpr int kFailingPoint = 10;
// Commands before the failing point's channel command: the two of command mode, two per point.
constexpr int kCommandsBefore = 2 + 2 * kFailingPoint;
}  // namespace

class TestE2eRadioFaults : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void badReplyIsRecovered_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("failsOnLevel");
        QTest::newRow("wrong-echo") << "wrong-echo" << false;
        QTest::newRow("extra-echo") << "extra-echo" << false;
        QTest::newRow("garbage") << "garbage" << false;
        QTest::newRow("short-level") << "short-level" << true;
        QTest::newRow("pause") << "pause" << false;
    }
    void badReplyIsRecovered() {
        QFETCH(QString, fault);
        QFETCH(bool, failsOnLevel);
        Rig rig;
        QVERIFY(rig.start({"--fault", QString("%1:%2:1").arg(fault).arg(kCommandsBefore)}));
        MainWindow& w = rig.open();
        Checks checks;
        Script script;
        script
            .then("failure message shown",
                  [&] {
                      if (!rig.messageShown()) return false;
                      const auto& trace = rig.state().trace;
                      // Cleared when the run started; only the points before it are measured.
                      checks.expect(trace[kFailingPoint].yOut == 0, "failed point unchanged");
                      checks.expect(trace[kFailingPoint - 1].yOut != 0, "points before measured");
                      checks.expect(trace[kFailingPoint + 1].yOut == 0, "sweep waits");
                      return true;
                  })
            .then("recovered and first sweep finished", [&] {
                const bool done = rig.state().lastSweepEnd != 0;
                if (done) checks.expect(rig.messageGone(), "message gone after the recovery");
                return done;
            });
        QVERIFY2(script.run(w, 30000), qPrintable(script.stoppedAt()));
        QVERIFY2(checks.ok(), qPrintable(checks.report()));
        for (const auto& p : rig.state().trace) QVERIFY(p.yOut != 0);
        QCOMPARE(rig.sim.stat(fault), 1);

        const QByteArray sent = bytesToRadio(rig.wire());
        const QByteArray failing = wire::channel(kFailingPoint);
        std::vector<QByteArray> expected{failing};
        if (failsOnLevel) expected.push_back(wire::kLevel);
        for (const QByteArray& b :
             {wire::kEnter, wire::kExit, wire::kResume, wire::kEnter, wire::kConfirm, failing,
              wire::kLevel, wire::channel(kFailingPoint + 1)})
            expected.push_back(b);
        QVERIFY(containsInOrder(sent, expected));
        // Nothing but the recovery came between the failed point and its second measurement.
        const qsizetype first = sent.indexOf(failing);
        QCOMPARE(sent.indexOf(failing, first + 1), sent.indexOf(wire::kConfirm, first) + 2);
    }
};

QTEST_MAIN(TestE2eRadioFaults)
#include "test_e2e_radio_faults.moc"
