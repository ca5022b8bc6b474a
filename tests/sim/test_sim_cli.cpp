// The kv3710-sim command line: every option is documented, bad ones are refused with 2.
#include <QProcess>
#include <QtTest>

#include "sim_options.h"

namespace {
QString simPath() {
    return qEnvironmentVariable("KV_BUILD_DIR") + "/kv3710-sim";
}
}  // namespace

class SimCliTest : public QObject {
    Q_OBJECT
  private slots:
    void helpDocumentsEveryOption();
    void badOptionsExitWith2_data();
    void badOptionsExitWith2();
};

void SimCliTest::helpDocumentsEveryOption() {
    QProcess sim;
    sim.start(simPath(), {"--help"});
    QVERIFY2(sim.waitForFinished(5000), qPrintable(sim.errorString()));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
    const QString help = QString::fromUtf8(sim.readAllStandardOutput());
    QVERIFY(!kv::sim::optionNames().empty());
    for (std::string_view name : kv::sim::optionNames()) {
        const QString option = "--" + QString::fromUtf8(name.data(), qsizetype(name.size()));
        QVERIFY2(help.contains(option + ' ') || help.contains(option + '\n'),
                 qPrintable(option + " is not in --help"));
    }
    for (kv::sim::FaultKind kind : kv::sim::kAllFaultKinds) {
        const std::string_view name = kv::sim::faultName(kind);
        QVERIFY(help.contains(QString::fromUtf8(name.data(), qsizetype(name.size()))));
    }
    for (const char* command : {"dead MS", "alive", "vanish", "return", "stats", "fault KIND"}) {
        QVERIFY2(help.contains(command), command);
    }
}

void SimCliTest::badOptionsExitWith2_data() {
    QTest::addColumn<QStringList>("args");
    QTest::newRow("unknown option") << QStringList{"--no-such-option"};
    QTest::newRow("missing value") << QStringList{"--seed"};
    QTest::newRow("bad baud") << QStringList{"--baud", "fast"};
    QTest::newRow("bad carrier") << QStringList{"--carrier", "12"};
    QTest::newRow("bad fault") << QStringList{"--fault", "lightning:3"};
    QTest::newRow("stray argument") << QStringList{"/dev/ttyS0"};
}

void SimCliTest::badOptionsExitWith2() {
    QFETCH(QStringList, args);
    QProcess sim;
    sim.start(simPath(), args);
    QVERIFY2(sim.waitForFinished(5000), qPrintable(sim.errorString()));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 2);
    QVERIFY(sim.readAllStandardOutput().isEmpty());
    QVERIFY(sim.readAllStandardError().startsWith("kv3710-sim: "));
}

QTEST_GUILESS_MAIN(SimCliTest)
#include "test_sim_cli.moc"
