// The real program (build/kv3710-analyzer, offscreen) closed by SIGTERM: on a radio that never
// answers it ends within one exchange; on a working radio it takes the radio out of command mode
// first. Either way it writes its five settings.
#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "e2e_rig.h"

using namespace kv;
using namespace kv::e2e;

namespace {

QString simStat(test::SimProcess& sim, const QString& key) {
    for (const QString& pair : sim.command("stats").split(' ', Qt::SkipEmptyParts))
        if (pair.startsWith(key + '=')) return pair.mid(key.size() + 1);
    return {};
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs) return false;
        QTest::qSleep(20);
    }
    return true;
}

}  // namespace

class TestE2eProgramExit : public QObject {
    Q_OBJECT
  private slots:
    void closeEndsTheProgram_data() {
        QTest::addColumn<bool>("radioAnswers");
        QTest::newRow("dead radio") << false;
        QTest::newRow("working radio") << true;
    }
    void closeEndsTheProgram() {
        QFETCH(bool, radioAnswers);
        test::SimProcess sim;
        const QString wireLog = sim.folder() + "/wire.log";
        QStringList options{"--log", wireLog};
        if (!radioAnswers)
            options << "--fault"
                    << "dead:0";
        QVERIFY(sim.start(options));
        QTemporaryDir config;
        const QString file = settingsFile(config.path());
        QVERIFY(writeSettingsFile(file, sim.linkPath(), ""));

        QProcess analyzer;
        QVERIFY(startAnalyzer(analyzer, config.path()));
        if (radioAnswers)
            QVERIFY(waitUntil([&] { return sim.stat("sweeps") >= 2; }, 10000));
        else
            QVERIFY(waitUntil([&] { return !sendsToRadio(readWireLog(wireLog)).empty(); }, 10000));
        const double closedAt = monotonicMs();
        analyzer.terminate();
        QVERIFY(analyzer.waitForFinished(10000));
        const double tookMs = monotonicMs() - closedAt;
        qInfo("the program ended %.0f ms after SIGTERM", tookMs);
        QCOMPARE(analyzer.exitStatus(), QProcess::NormalExit);
        QCOMPARE(analyzer.exitCode(), 0);

        std::vector<QByteArray> sentAfter;
        for (const auto& s : sendsToRadio(readWireLog(wireLog)))
            if (s.ms >= closedAt) sentAfter.push_back(s.bytes);
        if (radioAnswers) {
            // The measurement in progress may finish first; then the exit exchange, complete.
            QVERIFY(tookMs < 2000);
            QVERIFY(sentAfter.size() >= 2);
            QCOMPARE(sentAfter[sentAfter.size() - 2], wire::kExit);
            QCOMPARE(sentAfter.back(), wire::kResume);
            QCOMPARE(simStat(sim, "mode"), QString("data"));
        } else {
            // The exit request waits out its one reply time and nothing follows.
            QVERIFY(tookMs < 3000);
            QCOMPARE(sentAfter, std::vector<QByteArray>{wire::kExit});
        }
        QSettings saved(file, QSettings::IniFormat);
        QCOMPARE(saved.status(), QSettings::NoError);
        QCOMPARE(saved.value("Settings/Port").toString(), QString("0"));
        QCOMPARE(saved.value("Settings/Center Frequency").toString(), QString("915"));
        QCOMPARE(saved.value("Settings/Span").toString(), QString("26"));
        QCOMPARE(saved.value("Settings/Amplitude").toString(), QString("-40"));
        QCOMPARE(saved.value("Settings/Attenuator").toString(), QString("0"));
    }
};

QTEST_GUILESS_MAIN(TestE2eProgramExit)
#include "test_e2e_program_exit.moc"
