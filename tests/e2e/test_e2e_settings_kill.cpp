// The real program killed (SIGKILL) at random moments while it closes and writes its settings:
// the settings file must afterwards hold either what it held before or the complete new content,
// never a mixture and never a truncated file, and the next run must still be able to write it.
#include <QDir>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

#include "e2e_rig.h"

using namespace kv;
using namespace kv::e2e;

namespace {

// Texts that load as the defaults but are written back in another form, so that every one of
// the five keys the program writes at exit changes in the file.
const QByteArray kOldSettings =
    "Port=0.0\nCenter Frequency=915.0\nSpan=26.00\nAmplitude=-40.0\nAttenuator=-0\n"
    "Graph Top=500\n";
const std::vector<std::pair<QString, QString>> kNewValues{{"Port", "0"},
                                                          {"Center Frequency", "915"},
                                                          {"Span", "26"},
                                                          {"Amplitude", "-40"},
                                                          {"Attenuator", "0"}};

enum class Outcome { Old, New, Broken };

Outcome inspect(const QString& file, const QByteArray& oldBytes, const QString& device) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return Outcome::Broken;
    if (f.readAll() == oldBytes) return Outcome::Old;
    QSettings s(file, QSettings::IniFormat);
    if (s.status() != QSettings::NoError) return Outcome::Broken;
    // Untouched keys survive the rewrite.
    if (s.value("Ports/COM1").toString() != device) return Outcome::Broken;
    if (s.value("Settings/Graph Top").toString() != "500") return Outcome::Broken;
    for (const auto& [key, value] : kNewValues)
        if (s.value("Settings/" + key).toString() != value) return Outcome::Broken;
    return Outcome::New;
}

}  // namespace

class TestE2eSettingsKill : public QObject {
    Q_OBJECT
  private slots:
    void killDuringExitLeavesOldOrNewFile() {
        test::SimProcess sim;
        QVERIFY(sim.start());
        QTemporaryDir config;
        const QString file = settingsFile(config.path());
        const int rounds = qEnvironmentVariableIntValue("KV_KILL_ROUNDS") > 0
                               ? qEnvironmentVariableIntValue("KV_KILL_ROUNDS")
                               : 30;
        QRandomGenerator dice(3710);
        double exitMs = 0;  // how long a close takes when it is not interrupted
        int old = 0;
        int fresh = 0;
        for (int round = 0; round <= rounds; ++round) {
            QVERIFY(writeSettingsFile(file, sim.linkPath(), kOldSettings));
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray oldBytes = f.readAll();
            f.close();

            const qint64 sweepsBefore = sim.stat("sweeps");
            QProcess analyzer;
            QVERIFY(startAnalyzer(analyzer, config.path()));
            QElapsedTimer started;
            started.start();
            while (sim.stat("sweeps") < sweepsBefore + 2 && started.elapsed() < 10000)
                QTest::qSleep(10);
            QVERIFY(sim.stat("sweeps") >= sweepsBefore + 2);

            const double closedAt = monotonicMs();
            analyzer.terminate();
            // Round 0 measures an uninterrupted close; the others kill somewhere within it,
            // some right at the start and some after its end.
            if (round > 0) {
                const double delay = round % 10 == 1 ? 0 : dice.bounded(1.2 * exitMs);
                QTest::qSleep(static_cast<int>(delay));
                ::kill(static_cast<pid_t>(analyzer.processId()), SIGKILL);
            }
            QVERIFY(analyzer.waitForFinished(10000));
            // A program killed before it let go of the radio leaves it in command mode, where
            // the next one would first have to wait out two command-mode requests: power-cycle it.
            QCOMPARE(sim.command("vanish"), QString("ok"));
            QVERIFY(sim.command("return").startsWith("/dev/"));
            if (round == 0) {
                exitMs = monotonicMs() - closedAt;
                QCOMPARE(analyzer.exitCode(), 0);
            }
            const Outcome outcome = inspect(file, oldBytes, sim.linkPath());
            if (outcome == Outcome::Broken) {
                QFile broken(file);
                broken.open(QIODevice::ReadOnly);
                QFAIL(qPrintable(QString("round %1: the file is neither old nor new:\n%2")
                                     .arg(round)
                                     .arg(QString::fromUtf8(broken.readAll()))));
            }
            if (round == 0) QVERIFY(outcome == Outcome::New);
            (outcome == Outcome::Old ? old : fresh) += round > 0 ? 1 : 0;
        }
        const QStringList leftovers =
            QDir(config.path()).entryList(QDir::Files | QDir::Hidden).filter(".ini.");
        qInfo("close takes %.1f ms; %d kills left the old file, %d the new one; left behind: %s",
              exitMs, old, fresh, qPrintable(leftovers.join(' ')));
        QVERIFY(old > 0);
    }
};

QTEST_GUILESS_MAIN(TestE2eSettingsKill)
#include "test_e2e_settings_kill.moc"
