// SPDX-License-Identifier: GPL-3.0-or-later
// Two loggers on two simulated radios publish to Debian's mosquitto on a free loopback port,
// watched by a mosquitto_sub: the scene's levels and the CSV lines' numbers, no seq lost over a
// broker restart, offline from the last will after a SIGKILL and from a clean stop; a bad URL
// or CA file ends the logger before it sends anything to the radio.
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>
#include <csignal>
#include <map>

#include "sim_process.h"
#include "sim_scene.h"

using namespace kv;

namespace {

struct Radio {
    QTemporaryDir config;
    test::SimProcess sim;
    QProcess logger;
    QByteArray out;
    std::map<qint64, QJsonObject> messages;  // by seq
    QStringList statuses;
};

std::vector<double> numbersOf(const QJsonObject& m) {
    std::vector<double> numbers{m["hz_low"].toDouble(), m["hz_high"].toDouble(),
                                m["hz_step"].toDouble(), m["samples"].toDouble()};
    for (const QJsonValue& level : m["db"].toArray()) numbers.push_back(level.toDouble());
    return numbers;
}

QDateTime timeOf(const QJsonObject& m) {
    return QDateTime::fromString(m["time"].toString(), Qt::ISODateWithMs);
}

}  // namespace

class TestE2eMqtt : public QObject {
    Q_OBJECT
  private slots:
    // A carrier up for a few sweeps is one alarm (true, then false) at the sweeps the hold rule
    // says, with its peak; a carrier fluttering about the limit adds none; a bad mask is refused.
    void alarmEpisodeIsPublishedOnce();
    void radiosPublishThroughABrokerRestart() {
        test::BrokerProcess broker;
        QVERIFY(broker.start());
        const QString url = broker.url();
        QProcess sub;
        std::map<QString, Radio> radios;
        Radio& a = radios["KV0002"];
        Radio& b = radios["north"];
        bool probed = false;
        const auto read = [&] {
            while (sub.canReadLine()) {
                const QByteArray line = sub.readLine().trimmed();
                const QList<QByteArray> topic = line.left(line.indexOf(' ')).split('/');
                const QByteArray payload = line.mid(line.indexOf(' ') + 1);
                probed = probed || topic.value(1) == "probe";
                if (topic.size() != 3 || !radios.count(QString(topic[1]))) continue;
                Radio& radio = radios[QString(topic[1])];
                if (topic[2] == "status") {
                    radio.statuses << payload;
                    continue;
                }
                const QJsonObject message = QJsonDocument::fromJson(payload).object();
                const qint64 seq = message["seq"].toInteger(-1);
                // A QoS 1 duplicate is the same message.
                QVERIFY(!radio.messages.count(seq) || radio.messages[seq] == message);
                radio.messages[seq] = message;
            }
            for (auto& [id, radio] : radios)
                if (radio.logger.isOpen()) radio.out += radio.logger.readAllStandardOutput();
        };
        // Subscribed once a message published now arrives; started again while its first
        // connection fails. Its QoS 1 session outlives a connection, so that what is sent
        // after the restart reaches it whenever it is back.
        QVERIFY(QTest::qWaitFor(
            [&] {
                if (sub.state() == QProcess::NotRunning)
                    test::startTied(
                        sub, "mosquitto_sub",
                        {"-h", "127.0.0.1", "-p", broker.port, "-q", "1", "-c", "-i", "kv3710-e2e",
                         "-v", "-t", "kv3710/+/sweep", "-t", "kv3710/+/status"});
                broker.publish("kv3710/probe/status", "up");
                sub.waitForReadyRead(200);
                read();
                return probed;
            },
            20000));

        // One radio named by its by-id link, whose serial number names it in the topics.
        QTemporaryDir byId;
        const QString link = "usb-Tessaryn_KV3710_Radio_KV0002-if00-port0";
        const QStringList scene{"--baud",    "115200",  "--noise-spread", "0",
                                "--carrier", "3:-50:3", "--carrier",      "9:-70"};
        QVERIFY(a.sim.start(scene + QStringList{"--by-id", byId.path() + ':' + link}));
        QVERIFY(b.sim.start(scene));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KV3710_SERIAL_BY_ID_DIR", byId.path());
        a.logger.setProcessEnvironment(env);
        const QByteArray settings = "Baud=11\nNumber of Points=12\n";
        QVERIFY(test::writeSettingsFile(test::settingsFile(b.config.path()), b.sim.linkPath(),
                                        settings));
        QVERIFY(test::writeSettingsFile(test::settingsFile(a.config.path()), byId.filePath(link),
                                        settings));

        // Bad input ends it before anything reaches the radio, saying why in one line.
        for (const QStringList& bad :
             {QStringList{"--mqtt", "mqtt://127.0.0.1:99999"},
              QStringList{"--mqtt", "mqtts://b", "--mqtt-cafile", byId.filePath("absent.pem")}}) {
            QProcess logger;
            QVERIFY(test::startWithSettings(logger, "kv3710-power", b.config.path(), bad));
            QVERIFY(logger.waitForFinished(10000) && logger.exitCode() == 2);
            const QByteArray error = logger.readAllStandardError();
            QVERIFY2(error.startsWith("kv3710-power: ") && error.count('\n') == 1 &&
                         (bad.size() > 2 || error.endsWith("(see kv3710-power --help)\n")),
                     error);
        }
        QCOMPARE(b.sim.stat("commands"), 0);

        QVERIFY(
            test::startWithSettings(a.logger, "kv3710-power", a.config.path(), {"--mqtt", url}));
        QVERIFY(test::startWithSettings(b.logger, "kv3710-power", b.config.path(),
                                        {"--mqtt", url, "--radio-id", "north", "-"}));
        const auto received = [&](const std::function<bool()>& done, int timeoutMs) {
            return QTest::qWaitFor([&] { return sub.waitForReadyRead(100), read(), done(); },
                                   timeoutMs);
        };
        const auto published = [&](std::size_t count) {
            return received(
                [&] { return a.messages.size() >= count && b.messages.size() >= count; }, 120000);
        };
        QVERIFY(published(20));
        QVERIFY(broker.stop());
        // Twenty sweeps logged while the broker is away.
        const qsizetype linesBefore = (read(), b.out.count('\n'));
        QVERIFY(
            QTest::qWaitFor([&] { return read(), b.out.count('\n') >= linesBefore + 20; }, 60000));
        const std::size_t before = std::max(a.messages.size(), b.messages.size());
        QVERIFY(broker.start());
        QVERIFY(published(before + 100));

        ::kill(static_cast<pid_t>(a.logger.processId()), SIGKILL);
        QVERIFY(a.logger.waitForFinished(10000));
        b.logger.terminate();
        QVERIFY(b.logger.waitForFinished(20000));
        QVERIFY(b.logger.exitStatus() == QProcess::NormalExit && b.logger.exitCode() == 0);
        QVERIFY(received(
            [&] { return a.statuses.endsWith("offline") && b.statuses.endsWith("offline"); },
            30000));

        sim::Scene levels(sim::SceneConfig{-95, 0, {{3, -50, 3}, {9, -70, 1}}, {}, 1, {}});
        std::vector<double> expected{904e6, 928e6, 2e6, 1};
        for (int ch = 0; ch < 12; ++ch) expected.push_back(levels.measure(ch, {}));
        for (auto& [id, radio] : radios) {
            QCOMPARE(radio.statuses.first(), "online");
            // Every seq from 0 on, none missing.
            QCOMPARE(radio.messages.rbegin()->first + 1, qint64(radio.messages.size()));
            for (const auto& [seq, message] : radio.messages)
                QCOMPARE(numbersOf(message), expected);
        }
        QVERIFY(a.out.isEmpty());  // --mqtt alone writes nothing locally
        // Stopped cleanly, it published every line it wrote, line k as seq k.
        const QList<QByteArray> lines = b.out.split('\n');
        QCOMPARE(qsizetype(b.messages.size()), lines.size() - 1);
        for (const auto& [seq, m] : b.messages) {
            const QString begun = timeOf(m).toLocalTime().toString("yyyy-MM-dd, HH:mm:ss");
            QVERIFY2(
                lines[seq].startsWith(begun.toUtf8() + ", 904000000, 928000000, 2000000.00, 1, "),
                lines[seq]);
        }
    }
};

// A carrier up in sweeps 2 to 7 and one fluttering 1 dB about the limit in sweeps 6 to 15,
// then 1 dB below it up to sweep 18: one episode, raised at sweep 4, cleared at sweep 21
// (hold 3, clear 3 dB). The window's test shows the same scene.
const QStringList kAlarmScene{"--noise-spread", "0",           "--carrier",
                              "10:-50@2-8",     "--carrier",   "30:-69@6-16~2",
                              "--carrier",      "30:-71@16-19"};

void TestE2eMqtt::alarmEpisodeIsPublishedOnce() {
    test::BrokerProcess broker;
    QVERIFY(broker.start());
    QTemporaryDir config;
    test::SimProcess sim;
    QVERIFY(sim.start(kAlarmScene));
    QVERIFY(test::writeSettingsFile(test::settingsFile(config.path()), sim.linkPath(),
                                    "Number of Points=40\n"));
    // A bad mask ends the logger before anything reaches the radio.
    QFile mask(config.filePath("mask.csv"));
    QVERIFY(mask.open(QIODevice::WriteOnly) && mask.write("915, -60\n902, -60\n") > 0);
    mask.close();
    QProcess logger;
    QVERIFY(test::startWithSettings(logger, "kv3710-power", config.path(),
                                    {"--limit", mask.fileName()}));
    QVERIFY(logger.waitForFinished(10000) && logger.exitCode() == 2);
    QVERIFY(logger.readAllStandardError().contains(
        ": line 2: the frequency falls (902 after 915 MHz)"));
    QCOMPARE(sim.stat("commands"), 0);

    QProcess sub;
    std::map<qint64, QJsonObject> sweeps;  // by seq
    QList<QJsonObject> alarms;
    bool subscribed = false;
    const auto read = [&] {
        while (sub.canReadLine()) {
            const QByteArray line = sub.readLine().trimmed();
            const QJsonObject message =
                QJsonDocument::fromJson(line.mid(line.indexOf(' ') + 1)).object();
            if (line.startsWith("kv3710/site/sweep ")) sweeps[message["seq"].toInteger()] = message;
            if (line.startsWith("kv3710/site/alarm ")) alarms << message;
            subscribed = subscribed || line.startsWith("kv3710/site/probe ");
        }
    };
    const auto until = [&](const std::function<bool()>& done) {
        return QTest::qWaitFor([&] { return sub.waitForReadyRead(100), read(), done(); }, 60000);
    };
    // Subscribed once a retained probe arrives; both tried again while the broker is not up.
    const QStringList at{"-h", "127.0.0.1", "-p", broker.port, "-t", "kv3710/site/#"};
    QVERIFY(until([&] {
        if (sub.state() == QProcess::NotRunning)
            test::startTied(sub, "mosquitto_sub", at + QStringList{"-v"});
        QProcess::execute("mosquitto_pub",
                          at.mid(0, 4) + QStringList{"-r", "-t", "kv3710/site/probe", "-m", "{}"});
        return subscribed;
    }));
    QVERIFY(
        test::startWithSettings(logger, "kv3710-power", config.path(),
                                {"--mqtt", broker.url(), "--radio-id", "site", "--limit", "-70"}));
    QVERIFY(until([&] { return sweeps.size() >= 24; }));
    logger.terminate();
    QVERIFY(logger.waitForFinished(20000) && logger.exitCode() == 0);
    QVERIFY(until([&] { return alarms.size() >= 2; }));
    QCOMPARE(alarms.size(), 2);
    QCOMPARE(logger.readAllStandardError().count("alarm"), 2);

    const QJsonObject raised = alarms[0], cleared = alarms[1];
    QVERIFY(raised["active"] == QJsonValue(true) && cleared["active"] == QJsonValue(false));
    // Since the first sweep of the run the hold rule counts.
    QCOMPARE(raised["since"], sweeps[2]["time"]);
    QCOMPARE(cleared["since"], sweeps[19]["time"]);
    const double peakHz = sweeps[0]["hz_low"].toDouble() + 10 * sweeps[0]["hz_step"].toDouble();
    for (const QJsonObject& alarm : alarms)
        QVERIFY(std::abs(alarm["peak_hz"].toDouble() - peakHz) < 1 &&
                alarm["peak_db"].toDouble() == -50 && alarm["excess_db"].toDouble() == 20);
    QCOMPARE(raised["points"].toArray(), QJsonArray{10});
    QCOMPARE(raised["occupancy"].toArray().size(), 40);
    QCOMPARE(raised["occupancy"][10].toDouble(), 0.6);  // 3 sweeps of 5
}

QTEST_GUILESS_MAIN(TestE2eMqtt)
#include "test_e2e_mqtt.moc"
