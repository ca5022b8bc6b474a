// SPDX-License-Identifier: GPL-3.0-or-later
// The real programs on the simulated radio. The logger: its lines hold the simulator's levels, a
// silent radio is recovered with one message, SIGTERM releases the radio, a full disk costs whole
// lines and no sweeps. The analyzer, closed by SIGTERM, releases the radio and saves; killed at
// random moments while it closes, it leaves the settings file either as it was or wholly new;
// with a recording on its command line it sends the radio nothing.
#include <sys/resource.h>
#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>
#include <csignal>

#include "e2e_rig.h"
#include "sim_scene.h"

using namespace kv;
using namespace kv::e2e;

namespace {

// The levels of a line: fields 7 on.
std::vector<int> levelsOf(const QByteArray& line) {
    const QList<QByteArray> fields = line.trimmed().split(',');
    std::vector<int> levels;
    for (qsizetype i = 6; i < fields.size(); ++i) levels.push_back(qRound(fields[i].toDouble()));
    return levels;
}

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The simulated radio and the logger, with a settings file for it.
struct Bench {
    test::SimProcess sim;
    QTemporaryDir config;
    const QString file = test::settingsFile(config.path());
    QProcess logger, analyzer;
    bool start(const QStringList& simOptions, const QByteArray& settings, const QStringList& args,
               const std::function<void()>& inChild = {}) {
        return sim.start(simOptions) && test::writeSettingsFile(file, sim.linkPath(), settings) &&
               test::startWithSettings(logger, "kv3710-power", config.path(), args, inChild);
    }
    // The analyzer on the settings file as it is; its messages go to the test's.
    bool startAnalyzer() {
        analyzer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        return test::startWithSettings(analyzer, "kv3710-analyzer", config.path());
    }
    // Reads whole lines of the standard output until there are `count`.
    bool readLines(QList<QByteArray>& lines, qsizetype count) {
        return QTest::qWaitFor(
            [&] {
                while (logger.canReadLine()) lines << logger.readLine();
                return lines.size() >= count;
            },
            60000);
    }
};

}  // namespace

class TestE2ePrograms : public QObject {
    Q_OBJECT
  private slots:
    void loggerLogsRecoversAndReleases() {
        Bench bench;
        // Port, rate and point count come from the analyzer's settings; replies paced at the rate.
        // The graph's reference level is no limit to the levels logged. (A bad start is the MQTT
        // test's.)
        QVERIFY(bench.start(
            {"--noise-spread", "0", "--carrier", "3:-50:3", "--carrier", "9:-70", "--baud", "9600"},
            "Baud=5\nNumber of Points=12\nAmplitude=-80\n", {}));
        QList<QByteArray> lines;
        QVERIFY(bench.readLines(lines, 2));
        QVERIFY(lines[0].contains(", 904000000, 928000000, 2000000.00, 1, "));
        sim::Scene scene(sim::SceneConfig{-95, 0, {{3, -50, 3}, {9, -70, 1}}, {}, 1, {}});
        std::vector<int> expected;
        for (int ch = 0; ch < 12; ++ch) expected.push_back(scene.measure(ch, {}));
        QCOMPARE(bench.sim.command("dead 0"), QString("ok"));
        QByteArray errors;
        QVERIFY(QTest::qWaitFor(
            [&] { return !(errors += bench.logger.readAllStandardError()).isEmpty(); }, 30000));
        QCOMPARE(bench.sim.command("alive"), QString("ok"));
        // Lines come again; none holds a level the radio did not give.
        QVERIFY(bench.readLines(lines, lines.size() + 3));
        for (const QByteArray& line : lines) QCOMPARE(levelsOf(line), expected);
        bench.logger.terminate();
        QVERIFY(bench.logger.waitForFinished(10000));
        QVERIFY(bench.logger.exitStatus() == QProcess::NormalExit && !bench.logger.exitCode());
        // One message for the whole episode.
        errors += bench.logger.readAllStandardError();
        QVERIFY2(errors.startsWith("kv3710-power: ") && errors.count('\n') == 1, errors);
        QVERIFY(QTest::qWaitFor([&] { return radioReleased(bench.sim); }, 3000));
    }

    // A slow radio (a low rate, late replies) still has a reply on its way when SIGTERM comes
    // mid-sweep: the close leaves it in data mode all the same.
    void slowRadioIsReleasedAtClose_data() {
        QTest::addColumn<int>("baudIndex");
        QTest::addColumn<int>("latencyMs");
        QTest::newRow("110 baud") << 0 << 0;
        QTest::newRow("300 baud, 120 ms late") << 1 << 120;
        QTest::newRow("115200 baud, 500 ms late") << 11 << 500;
    }
    void slowRadioIsReleasedAtClose() {
        QFETCH(int, baudIndex);
        QFETCH(int, latencyMs);
        const char* rates[] = {"110", "300"};
        Bench b;
        QVERIFY(b.sim.start({"--baud", baudIndex < 2 ? rates[baudIndex] : "115200", "--latency-ms",
                             QString::number(latencyMs)}));
        QVERIFY(test::writeSettingsFile(
            b.file, b.sim.linkPath(),
            kOldSettings + "Baud=" + QByteArray::number(baudIndex) + "\nNumber of Points=3\n"));
        QVERIFY(b.startAnalyzer());
        // In command mode and a few exchanges into the sweep.
        QVERIFY(QTest::qWaitFor([&] { return b.sim.stat("commands") > 4; }, 20000));
        b.analyzer.terminate();
        const QString fault = closedCleanly(b.analyzer, b.sim, b.file);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
    }

    // A full disk: the line that no longer fits is taken back, the sweep goes on with one
    // message, lines come again once there is room (the file emptied, as a rotation does) and
    // the exit status tells that lines were lost.
    void loggerOutlivesAFullDisk() {
        Bench bench;
        const QString csv = bench.config.filePath("band.csv");
        // About six and a half lines fit: the system cuts the seventh short.
        QVERIFY(bench.start({}, "Number of Points=12\n", {csv}, [] {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{1000, 1000};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }));
        // Whole lines of the 12 levels only, and at least `count` of them.
        const auto wholeLines = [&](qsizetype count) {
            const QByteArray text = contents(csv);
            const QList<QByteArray> lines = text.split('\n');
            return text.endsWith('\n') && lines.size() > count &&
                   std::all_of(lines.begin(), lines.end() - 1,
                               [](const QByteArray& l) { return l.count(',') == 17; });
        };
        QByteArray errors;
        const auto said = [&](const char* text) {
            return QTest::qWaitFor(
                [&] { return (errors += bench.logger.readAllStandardError()).contains(text); },
                30000);
        };
        QVERIFY(said("cannot write"));
        QVERIFY2(wholeLines(6), contents(csv));
        const qint64 sweeps = bench.sim.stat("sweeps");
        QVERIFY(QTest::qWaitFor([&] { return bench.sim.stat("sweeps") > sweeps + 5; }, 30000));
        errors += bench.logger.readAllStandardError();
        // Once for the episode (a slow machine may add a late reply's line).
        QVERIFY2(errors.count("cannot write") == 1, errors);
        QVERIFY(QFile::resize(csv, 0));
        QVERIFY(said("lines are written again"));
        bench.logger.terminate();
        QVERIFY(bench.logger.waitForFinished(10000));
        QCOMPARE(bench.logger.exitCode(), 1);
        QVERIFY2(wholeLines(1), contents(csv));
        errors += bench.logger.readAllStandardError();
        QVERIFY2(errors.endsWith(" lines could not be written\n"), errors);
    }

    void analyzerKilledWhileClosingLeavesOldOrNewFile() {
        Bench b;
        QVERIFY(b.sim.start());
        constexpr int rounds = 12;
        QRandomGenerator dice(3710);
        double exitMs = 0;  // how long a close takes when it is not interrupted
        int old = 0;
        for (int round = 0; round <= rounds; ++round) {
            QVERIFY(test::writeSettingsFile(b.file, b.sim.linkPath(), kOldSettings));
            const QByteArray oldBytes = contents(b.file);
            const qint64 sweeps = b.sim.stat("sweeps");
            QProcess& analyzer = b.analyzer;
            QVERIFY(b.startAnalyzer());
            QVERIFY(QTest::qWaitFor([&] { return b.sim.stat("sweeps") > sweeps; }, 10000));
            QElapsedTimer closing;
            closing.start();
            analyzer.terminate();
            // Round 0 measures an uninterrupted close; the others kill somewhere within it,
            // some right at the start and some after its end.
            if (round == 0) {
                const QString fault = closedCleanly(analyzer, b.sim, b.file);
                QVERIFY2(fault.isEmpty(), qPrintable(fault));
                exitMs = double(closing.elapsed());
            } else {
                QTest::qSleep(round % 4 == 1 ? 0 : int(dice.bounded(1.2 * exitMs)));
                ::kill(static_cast<pid_t>(analyzer.processId()), SIGKILL);
                QVERIFY(analyzer.waitForFinished(10000));
            }
            // A program killed before it let go of the radio leaves it in command mode, where
            // the next one would first have to wait out two command-mode requests: power-cycle it.
            QCOMPARE(b.sim.command("vanish"), QString("ok"));
            QVERIFY(b.sim.command("return").startsWith("/dev/"));
            const bool unchanged = contents(b.file) == oldBytes;
            QVERIFY2(unchanged || holdsNewSettings(b.file, b.sim.linkPath()),
                     "round " + QByteArray::number(round) + ", neither old nor new:\n" +
                         contents(b.file));
            old += unchanged ? 1 : 0;
        }
        qInfo("close takes %.1f ms; %d of %d kills left the old file", exitMs, old, rounds);
        QVERIFY(old > 0);
    }

    // A recording on the command line: from start to exit the radio sees no byte, and the
    // radio's band, not the file's, is saved.
    void analyzerWithARecordingLeavesTheRadio() {
        Bench b;
        QVERIFY(b.sim.start());
        QVERIFY(test::writeSettingsFile(b.file, b.sim.linkPath(), "Span=20\n"));
        const QString log = b.config.filePath("log.csv");
        QFile file(log);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("2026-12-07, 03:00:00, 902509804, 928000000, 509803.92, 1, -80.00, -60.00\n");
        file.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_LOGGING_RULES", "kv3710.window.info=true");
        b.analyzer.setProcessEnvironment(env);
        b.analyzer.setProcessChannelMode(QProcess::MergedChannels);
        QVERIFY(test::startWithSettings(b.analyzer, "kv3710-analyzer", b.config.path(), {log}));
        QByteArray said;
        QVERIFY(QTest::qWaitFor(
            [&] { return (said += b.analyzer.readAll()).contains("watching log.csv"); }, 10000));
        b.analyzer.terminate();
        QVERIFY(b.analyzer.waitForFinished(10000));
        QCOMPARE(b.analyzer.exitCode(), 0);
        QCOMPARE(sentToRadio(b.sim.wireLogPath()), QByteArray());
        QCOMPARE(QSettings(b.file, QSettings::IniFormat).value("Settings/Span").toString(),
                 QString("20"));
    }
};

QTEST_GUILESS_MAIN(TestE2ePrograms)
#include "test_e2e_programs.moc"
