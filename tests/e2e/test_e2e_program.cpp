// The real program (build/kv3710-analyzer, offscreen) closed by SIGTERM: on a radio that never
// answers it ends within one exchange; on a working radio it takes the radio out of command mode
// first (56, then CC 41 54 4F 0D). And killed (SIGKILL) at random moments while it closes: the
// settings file holds either what it held before or the complete new content, never a mixture
// and never a truncated file.
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

#include "e2e_rig.h"

using namespace kv::e2e;
using namespace kv::test;

namespace {

// Texts that load as the defaults but are written back in another form, so that every one of
// the five keys the program writes at exit changes in the file.
const QByteArray kOldSettings =
    "Port=0.0\nCenter Frequency=915.0\nSpan=26.00\nAmplitude=-40.0\nAttenuator=-0\n"
    "Graph Top=500\n";

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The file holds the five new values and kept the keys the program does not write.
bool holdsNewSettings(const QString& file, const QString& device) {
    QSettings s(file, QSettings::IniFormat);
    QStringList values;
    for (const char* key :
         {"Ports/COM1", "Settings/Graph Top", "Settings/Port", "Settings/Center Frequency",
          "Settings/Span", "Settings/Amplitude", "Settings/Attenuator"})
        values << s.value(key).toString();
    return s.status() == QSettings::NoError &&
           values == QStringList{device, "500", "0", "915", "26", "-40", "0"};
}

}  // namespace

class TestE2eProgram : public QObject {
    Q_OBJECT
  private slots:
    void deadRadioEndsWithinOneExchange() {
        SimProcess sim;
        QVERIFY(sim.start({"--fault", "dead:0"}));
        QTemporaryDir config;
        QVERIFY(writeSettingsFile(settingsFile(config.path()), sim.linkPath(), kOldSettings));
        QProcess analyzer;
        QVERIFY(startAnalyzer(analyzer, config.path()));
        QVERIFY(QTest::qWaitFor(
            [&] { return !sendsToRadio(readWireLog(sim.wireLogPath())).empty(); }, 10000));
        const double closedAt = monotonicMs();
        analyzer.terminate();
        QVERIFY(analyzer.waitForFinished(10000));
        QCOMPARE(analyzer.exitCode(), 0);
        // The exit request waits out its one reply time and nothing follows.
        std::vector<QByteArray> sent;
        for (const auto& s : sendsToRadio(readWireLog(sim.wireLogPath())))
            if (s.ms >= closedAt) sent.push_back(s.bytes);
        QCOMPARE(sent, std::vector<QByteArray>{wire::kExit});
        QVERIFY(holdsNewSettings(settingsFile(config.path()), sim.linkPath()));
    }

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
            const std::size_t logAt = readWireLog(sim.wireLogPath()).size();
            const double closedAt = monotonicMs();
            analyzer.terminate();
            // Round 0 measures an uninterrupted close; the others kill somewhere within it,
            // some right at the start and some after its end.
            if (round > 0) {
                QTest::qSleep(round % 4 == 1 ? 0 : int(dice.bounded(1.2 * exitMs)));
                ::kill(static_cast<pid_t>(analyzer.processId()), SIGKILL);
            }
            QVERIFY(analyzer.waitForFinished(10000));
            if (round == 0) {
                exitMs = monotonicMs() - closedAt;
                QCOMPARE(analyzer.exitStatus(), QProcess::NormalExit);
                QCOMPARE(analyzer.exitCode(), 0);
                // The measurement in progress may finish first; then the exit exchange.
                const auto sent = sendsToRadio(readWireLog(sim.wireLogPath()), logAt);
                QVERIFY(sent.size() >= 2);
                QCOMPARE(sent[sent.size() - 2].bytes, wire::kExit);
                QCOMPARE(sent.back().bytes, wire::kResume);
                QVERIFY(sim.command("stats").contains("mode=data"));
                QVERIFY(holdsNewSettings(file, sim.linkPath()));
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
