// The real kv3710-power on the simulated radio over a pseudo-terminal: its lines hold the
// simulator's levels at both paced rates, a replayed log reads back the same, SIGTERM takes
// the radio out of command mode, bad starts send nothing, a silent radio is recovered.
#include <QTemporaryDir>
#include <QtTest>

#include "e2e_rig.h"
#include "sim_scene.h"
#include "sweep_csv.h"

using namespace kv;
using namespace kv::e2e;

namespace {

constexpr int kPoints = 12;
const QStringList kScene{"--noise-spread", "0", "--carrier", "3:-50:3", "--carrier", "9:-70"};

// The levels of a line: fields 7 on.
std::vector<int> levelsOf(const QByteArray& line) {
    const QList<QByteArray> fields = line.trimmed().split(',');
    std::vector<int> levels;
    for (qsizetype i = 6; i < fields.size(); ++i) levels.push_back(qRound(fields[i].toDouble()));
    return levels;
}

// Reads whole lines from the logger's standard output until there are `count`.
bool readLines(QProcess& logger, QList<QByteArray>& lines, int count) {
    QElapsedTimer clock;
    clock.start();
    while (lines.size() < count && clock.elapsed() < 60000) {
        if (!logger.canReadLine() && !logger.waitForReadyRead(100)) continue;
        while (logger.canReadLine()) lines << logger.readLine();
    }
    return lines.size() >= count;
}

struct Bench {
    test::SimProcess sim;
    QTemporaryDir config;
    QProcess logger;
    bool start(const QStringList& simOptions, const QByteArray& settings, const QStringList& args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", config.path());
        logger.setProcessEnvironment(env);
        return sim.start(simOptions) &&
               test::writeSettingsFile(test::settingsFile(config.path()), sim.linkPath(),
                                       settings) &&
               test::startTied(logger, test::SimProcess::executable("kv3710-power"), args);
    }
};

}  // namespace

class TestE2ePower : public QObject {
    Q_OBJECT
  private slots:
    void linesMatchTheScene_data() {
        QTest::addColumn<int>("baud");
        QTest::addColumn<QByteArray>("baudIndex");
        QTest::newRow("115200") << 115200 << QByteArray("11");
        QTest::newRow("9600") << 9600 << QByteArray("5");
    }
    void linesMatchTheScene() {
        QFETCH(int, baud);
        QFETCH(QByteArray, baudIndex);
        Bench bench;
        // Port, rate and point count come from the analyzer's settings.
        QVERIFY(bench.start(kScene + QStringList{"--baud", QString::number(baud)},
                            "Baud=" + baudIndex + "\nNumber of Points=12\n", {"-1", "-q"}));
        QVERIFY(bench.logger.waitForFinished(60000));
        QCOMPARE(bench.logger.exitCode(), 0);
        const QList<QByteArray> lines = bench.logger.readAllStandardOutput().split('\n');
        QCOMPARE(lines.size(), 2);  // one line and the end after its newline
        QVERIFY(lines[0].contains(", 904000000, 928000000, 2000000.00, 1, "));
        sim::Scene scene(sim::SceneConfig{-95, 0, {{3, -50, 3}, {9, -70, 1}}, {}, 1, {}});
        std::vector<int> expected;
        for (int ch = 0; ch < kPoints; ++ch) expected.push_back(scene.measure(ch, {}));
        QCOMPARE(levelsOf(lines[0]), expected);
        QVERIFY(bench.logger.readAllStandardError().isEmpty());
    }

    void replayReadsBackAndSigtermLeavesCommandMode() {
        SettingValues band;
        band.centerFrequency = 433.5f;
        band.span = 3.0f;
        band.numberOfPoints = kPoints;
        QTemporaryDir folder;
        QFile log(folder.filePath("band.csv"));
        QVERIFY(log.open(QIODevice::WriteOnly));
        QList<QByteArray> rows;
        for (int row = 0; row < 3; ++row) {
            std::vector<double> levels;
            for (int i = 0; i < kPoints; ++i) levels.push_back(-97 + (row * 31 + i * 7) % 56);
            rows << QByteArray::fromStdString(
                power::formatSweepLine(band, {2026, 12, 7, 4, 0, row}, 1, levels));
            log.write(rows.back());
        }
        log.close();
        Bench bench;
        QVERIFY(bench.start({"--replay", log.fileName()}, "",
                            {"--center", "433.5", "--span", "3", "--points", "12", "-"}));
        QList<QByteArray> lines;
        QVERIFY(readLines(bench.logger, lines, 4));
        // Frequencies, samples and levels as in the file, which loops after its third line.
        for (int k = 0; k < 4; ++k)
            QCOMPARE(lines[k].split(',').mid(2), rows[k % 3].split(',').mid(2));
        bench.logger.terminate();
        QVERIFY(bench.logger.waitForFinished(10000));
        QCOMPARE(bench.logger.exitStatus(), QProcess::NormalExit);
        QCOMPARE(bench.logger.exitCode(), 0);
        const QByteArray rest = bench.logger.readAllStandardOutput();
        QVERIFY(rest.isEmpty() || rest.endsWith('\n'));
        const auto sends = sendsToRadio(readWireLog(bench.sim.wireLogPath()));
        QVERIFY(sends.size() >= 2);
        QCOMPARE(sends[sends.size() - 2].bytes, wire::kExit);
        QCOMPARE(sends.back().bytes, wire::kResume);
        QVERIFY(bench.sim.command("stats").contains("mode=data"));
    }

    void badStartSendsNothing_data() {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("unknown option") << QStringList{"--bogus"};
        QTest::newRow("no points") << QStringList{"--points", "0"};
        QTest::newRow("bad duration") << QStringList{"-e", "5 days"};
        QTest::newRow("two files") << QStringList{"a.csv", "b.csv"};
        QTest::newRow("no device") << QStringList{"--device", "/nonexistent/ttyUSB9"};
        QTest::newRow("unwritable file") << QStringList{"/nonexistent/band.csv"};
    }
    void badStartSendsNothing() {
        QFETCH(QStringList, args);
        Bench bench;
        QVERIFY(bench.start({}, "", args));
        QVERIFY(bench.logger.waitForFinished(10000));
        QCOMPARE(bench.logger.exitCode(), 2);
        QVERIFY(bench.logger.readAllStandardOutput().isEmpty());
        const QByteArray error = bench.logger.readAllStandardError();
        QVERIFY2(error.startsWith("kv3710-power: ") && error.count('\n') == 1, error);
        QCOMPARE(bench.sim.stat("commands"), 0);
        QVERIFY(sendsToRadio(readWireLog(bench.sim.wireLogPath())).empty());
    }

    void silentRadioIsRecovered() {
        Bench bench;
        QVERIFY(bench.start(kScene, "Number of Points=12\n", {}));
        QList<QByteArray> lines;
        QVERIFY(readLines(bench.logger, lines, 2));
        QCOMPARE(bench.sim.command("dead 0"), QString("ok"));
        QByteArray errors;
        QElapsedTimer clock;
        clock.start();
        while (errors.isEmpty() && clock.elapsed() < 30000) {
            bench.logger.waitForReadyRead(100);
            errors += bench.logger.readAllStandardError();
        }
        QCOMPARE(bench.sim.command("alive"), QString("ok"));
        // Lines come again; none holds a level the radio did not give.
        const qsizetype before = lines.size();
        QVERIFY(readLines(bench.logger, lines, int(before) + 3));
        const std::vector<int> expected = levelsOf(lines[0]);
        for (const QByteArray& line : lines) QCOMPARE(levelsOf(line), expected);
        bench.logger.terminate();
        QVERIFY(bench.logger.waitForFinished(10000));
        QCOMPARE(bench.logger.exitCode(), 0);
        // One message for the whole episode.
        errors += bench.logger.readAllStandardError();
        QVERIFY2(errors.startsWith("kv3710-power: ") && errors.count('\n') == 1, errors);
    }
};

QTEST_GUILESS_MAIN(TestE2ePower)
#include "test_e2e_power.moc"
