// The real program (build/kv3710-analyzer, offscreen) closed by SIGTERM on a working radio takes
// it out of command mode first and saves. Killed (SIGKILL) at random moments while it closes,
// it leaves the settings file holding either what it held before or the complete new content,
// never a mixture and never a truncated file.
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

#include "e2e_rig.h"

using namespace kv::e2e;
using namespace kv::test;

namespace {
QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
}  // namespace

class TestE2eProgram : public QObject {
    Q_OBJECT
  private slots:
    void killDuringExitLeavesOldOrNewFile() {
        SimProcess sim;
        QVERIFY(sim.start());
        QTemporaryDir config;
        const QString file = settingsFile(config.path());
        const int rounds = qEnvironmentVariableIntValue("KV_KILL_ROUNDS") > 0
                               ? qEnvironmentVariableIntValue("KV_KILL_ROUNDS")
                               : 12;
        QRandomGenerator dice(3710);
        double exitMs = 0;  // how long a close takes when it is not interrupted
        int old = 0;
        for (int round = 0; round <= rounds; ++round) {
            QVERIFY(writeSettingsFile(file, sim.linkPath(), kOldSettings));
            const QByteArray oldBytes = contents(file);
            const qint64 sweeps = sim.stat("sweeps");
            QProcess analyzer;
            QVERIFY(startAnalyzer(analyzer, config.path()));
            QVERIFY(QTest::qWaitFor([&] { return sim.stat("sweeps") >= sweeps + 2; }, 10000));
            const double closedAt = monotonicMs();
            analyzer.terminate();
            // Round 0 measures an uninterrupted close; the others kill somewhere within it,
            // some right at the start and some after its end.
            if (round == 0) {
                const QString fault = closedCleanly(analyzer, sim, file);
                QVERIFY2(fault.isEmpty(), qPrintable(fault));
                exitMs = monotonicMs() - closedAt;
            } else {
                QTest::qSleep(round % 4 == 1 ? 0 : int(dice.bounded(1.2 * exitMs)));
                ::kill(static_cast<pid_t>(analyzer.processId()), SIGKILL);
                QVERIFY(analyzer.waitForFinished(10000));
            }
            // A program killed before it let go of the radio leaves it in command mode, where
            // the next one would first have to wait out two command-mode requests: power-cycle it.
            QCOMPARE(sim.command("vanish"), QString("ok"));
            QVERIFY(sim.command("return").startsWith("/dev/"));
            const bool unchanged = contents(file) == oldBytes;
            QVERIFY2(unchanged || holdsNewSettings(file, sim.linkPath()),
                     qPrintable(QString("round %1: the file is neither old nor new:\n%2")
                                    .arg(round)
                                    .arg(QString::fromUtf8(contents(file)))));
            old += unchanged ? 1 : 0;
        }
        qInfo("close takes %.1f ms; %d of %d kills left the old file", exitMs, old, rounds);
        QVERIFY(old > 0);
    }
};

QTEST_GUILESS_MAIN(TestE2eProgram)
#include "test_e2e_program.moc"
