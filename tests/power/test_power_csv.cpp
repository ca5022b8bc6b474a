// SPDX-License-Identifier: GPL-3.0-or-later
#include <QtTest>
#include <cmath>

#include "alarm.h"
#include "alarm_message.h"
#include "decimal_comma.h"
#include "default_state.h"
#include "fake_event_loop.h"
#include "fake_radio.h"
#include "interval_combiner.h"
#include "interval_sink.h"
#include "outbound_queue.h"
#include "power_logger.h"
#include "power_options.h"
#include "spectrum_model.h"
#include "sweep_log.h"
#include "sweep_message.h"

using namespace kv::power;

namespace {
// Keeps what a sink is given, and the logger's lines and messages.
struct Kept : kv::SweepSink, LoggerOutput {
    void sweepEnded(const kv::Sweep& sweep) override {
        sweeps.emplace_back(sweep.levelsDb.begin(), sweep.levelsDb.end());
        samples.push_back(sweep.samples);
    }
    std::string writeLine(std::string_view) override { return {}; }
    void message(std::string_view) override {}
    void status(std::string_view) override {}
    std::vector<std::vector<double>> sweeps;
    std::vector<int> samples;
};
}  // namespace

class PowerCsvTest : public QObject {
    Q_OBJECT
  private slots:
    // What follows runs with a decimal comma in the C library's locale: lines keep points.
    void decimalComma() {
        const QString why = useDecimalComma();
        if (!why.isEmpty()) QSKIP(qPrintable(why));
    }

    // An interval's line holds the mean power (in dB) or the peak of each point over its sweeps;
    // sweeps every 20 s in 60-second intervals make lines of three.
    void intervalCombines() {
        kv::IntervalCombiner mean(3, kv::IntervalCombiner::Mode::Mean),
            peak(3, kv::IntervalCombiner::Mode::Max);
        for (const std::vector<double>& sweep :
             {std::vector<double>{-50, -60, -97}, {-90, -60, -42}}) {
            mean.add(sweep);
            peak.add(sweep);
        }
        QCOMPARE(mean.samples(), 2);
        std::vector<long> hundredths;
        for (double level : mean.levels()) hundredths.push_back(std::lround(level * 100));
        QCOMPARE(hundredths, (std::vector<long>{-5301, -6000, -4501}));
        QCOMPARE(peak.levels(), (std::vector<double>{-50, -60, -42}));
        peak.clear();
        QVERIFY(peak.levels().empty());
        IntervalSink intervals(std::chrono::seconds(60), kv::IntervalCombiner::Mode::Mean);
        Kept lines;
        intervals.outputs().add(lines);
        const std::vector<double> level{-50};
        for (std::int64_t ms = 0; ms < 180000; ms += 20000)
            intervals.sweepEnded(
                {.began = {}, .beganMs = ms, .endedMs = ms + 20000, .band = {}, .levelsDb = level});
        intervals.finished();
        QCOMPARE(lines.samples, (std::vector<int>{3, 3, 3}));
    }

    // A sink registered in the logger sees every sweep with the levels as measured (a point
    // that failed NaN, whatever the reference level); the outputs get the interval's mean of
    // the complete sweeps only.
    void sinksSeeTheSweepsAsMeasured() {
        kv::SharedState state = kv::test::defaultState();
        state.settings.numberOfPoints = 3;
        state.settings.amplitude = -80;
        kv::createTraceArrays(state);
        kv::test::FakeEventLoop loop;
        kv::test::FakeTimer timer1{loop, kv::Radio::kReplyTimeoutMs};
        kv::test::FakeTimer reopen{loop, kv::RadioSession::kReopenPeriodMs};
        kv::test::FakeClock clock(loop);
        kv::test::ScriptedComm comm(loop);
        comm.latencyMs = 10;
        kv::test::FakeRadio radio;
        int levelReads = 0;
        // -50, -57, -72 dB; the second sweep's middle point fails twice.
        radio.reading = [](int ch) { return std::uint16_t(ch == 0 ? 51 : ch * 100); };
        comm.responder = [&](std::string_view sent) {
            if (sent == "\x21\x02" && ++levelReads >= 5 && levelReads <= 6) return std::string{};
            return radio.answer(sent);
        };
        Kept sink, outputs;
        LoggerConfig config;
        config.intervalSeconds = 60;
        config.deviceName = [] { return std::string("radio"); };
        PowerLogger logger(state, comm, timer1, reopen, loop, clock, outputs, config);
        QVERIFY(logger.openPort());
        logger.sinks().add(sink);
        logger.outputs().add(outputs);
        loop.at(30000, [&] { logger.requestStop(); });
        QCOMPARE(logger.run(), 0);
        QVERIFY(sink.sweeps.size() >= 3);
        QCOMPARE(sink.sweeps[0], (std::vector<double>{-50, -57, -72}));
        QVERIFY(std::isnan(sink.sweeps[1][1]));
        QCOMPARE(outputs.samples, std::vector<int>{int(sink.sweeps.size()) - 1});
        for (std::size_t i = 0; i < 3; ++i)  // the mean of equal powers: the level again
            QCOMPARE(std::lround(outputs.sweeps[0][i] * 100), std::lround(sink.sweeps[0][i] * 100));
    }

    // The message carries the line's numbers as the line writes them, and the time in UTC
    // cut (not rounded) to the millisecond; a band past the Hz a line can hold writes the limit.
    void messageHoldsTheLineNumbers() {
        kv::SettingValues band;
        band.centerFrequency = 915;
        band.span = 1;
        band.numberOfPoints = 2;
        using namespace std::chrono;
        const auto begun = sys_days{year{2024} / February / 29} + 23h + 59min + 59s + 999600us;
        const std::vector<double> levels{-53.0103, -90};
        QCOMPARE(formatSweepMessage(band, begun, 7, 2, levels),
                 std::string(R"({"time":"2024-02-29T23:59:59.999Z","seq":7,"hz_low":914833333,)"
                             R"("hz_high":915500000,"hz_step":333333.33,"samples":2,)"
                             R"("db":[-53.01,-90.00],"schema":1})"));
        // Read back as the window reads a site's: the band to the same points.
        const auto back = kv::parseSweepMessage(formatSweepMessage(band, begun, 7, 2, levels));
        QVERIFY(back && back->seq == 7 && back->samples == 2);
        QCOMPARE(back->band.centerFrequency, 915.0f);
        QCOMPARE(back->band.span, 1.0f);
        QCOMPARE(back->levelsDb, (std::vector<double>{-53.01, -90}));
        const std::string line = kv::formatSweepLine(band, kv::localLineTime(begun), 2, levels);
        QVERIFY(line.ends_with(", 914833333, 915500000, 333333.33, 2, -53.01, -90.00\n"));
        band.centerFrequency = 1e25f;
        QVERIFY(kv::formatSweepLine(band, {}, 2, levels)
                    .starts_with("1970-01-01, 00:00:00, 9223372036854775807, 9223372036854775807"));
    }

    // What the logger does not write is dropped, never drawn.
    void foreignMessageIsDropped_data() {
        QTest::addColumn<QByteArray>("payload");
        // Twelve points of 904 to 928 MHz; the first level is `first`.
        const auto message = [](const QByteArray& seq, const QByteArray& first,
                                const QByteArray& more = "") {
            return "{'time':'2024-05-01T12:34:56.789Z','seq':" + seq +
                   ",'hz_low':904000000,'hz_high':928000000,'hz_step':2000000.00,'samples':1,"
                   "'db':[" +
                   first + "-2,-3,-4,-5,-6,-7,-8,-9,-10,-11,-12]" + more + "}";
        };
        const auto json = [](QByteArray text) { return text.replace('\'', '"'); };
        QVERIFY(kv::parseSweepMessage(json(message("1", "-1,")).toStdString()));
        QTest::newRow("not JSON") << json(message("1", "-1,")).chopped(1);
        QTest::newRow("seq a string") << json(message("'1'", "-1,"));
        QTest::newRow("level a string") << json(message("1", "'-1',"));
        QTest::newRow("points off the step") << json(message("1", ""));
        QTest::newRow("257 points") << json(message("1", QByteArray("0,").repeated(246)));
        QTest::newRow("unknown schema") << json(message("1", "-1,", ",'schema':2"));
        QTest::newRow("huge") << json(message("1", "-1,", ",'x':'" + QByteArray(20000, 'x') + "'"));
    }
    void foreignMessageIsDropped() {
        QFETCH(QByteArray, payload);
        QVERIFY(!kv::parseSweepMessage(payload.toStdString()));
    }

    // A mask is taken whole or refused with its line and why; it joins its corners, steps
    // where two share a frequency and holds its ends.
    void maskReader_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("result");  // the limit at 900, 908.5, 915, 920, 930 MHz
        QTest::newRow("mask") << QByteArray("# band\r\n902, -60\n\n915,-40\n 915 , -70\n928, -60")
                              << "-60 -50 -70 -66.1538 -60";
        QTest::newRow("falls") << QByteArray("915, -40\n902, -60\n")
                               << "line 2: the frequency falls (902 after 915 MHz)";
        QTest::newRow("no comma") << QByteArray("902 -60\n") << "line 1: not \"MHz, dB\"";
        QTest::newRow("word") << QByteArray("902, -60\n903, loud\n")
                              << "line 2: the level is not a number of dB (-1000 to 1000)";
        QTest::newRow("empty") << QByteArray("# nothing\n\n") << "no corner (lines of \"MHz, dB\")";
        QTest::newRow("many") << QByteArray("900, -60\n").repeated(1025)
                              << "line 1025: more than 1024 corners";
        QTest::newRow("huge") << QByteArray(64 * 1024 + 1, '#') << "larger than 64 KiB";
    }
    void maskReader() {
        QFETCH(QByteArray, text);
        QFETCH(QString, result);
        const kv::MaskLoad load = kv::parseMask(text.toStdString());
        QVERIFY(load.error.empty() != load.corners.empty());  // never half applied
        QStringList got{QString::fromStdString(load.error)};
        if (load.error.empty()) {
            got.clear();
            for (double mhz : {900.0, 908.5, 915.0, 920.0, 930.0})
                got << QString::number(kv::Limit::mask(load.corners).at(mhz), 'g', 6);
        }
        QCOMPARE(got.join(' '), result);
    }

    // Episodes of one point against a -70 dB limit, hold 3, clear 3 dB: the sweeps at which
    // the alarm is raised (+) and cleared (-).
    void alarmEpisodes_data() {
        QTest::addColumn<std::vector<double>>("levels");
        QTest::addColumn<QString>("changes");
        const double nan = std::nan("");
        QTest::newRow("burst") << std::vector<double>{-90, -60, -60, -60, -60, -80, -80, -80, -60}
                               << "+3 -7";
        QTest::newRow("flutter in an episode")
            << std::vector<double>{-60, -60, -60, -71, -69, -71, -71, -71, -73, -73, -73}
            << "+2 -10";
        QTest::newRow("flutter alone")
            << std::vector<double>{-69, -71, -69, -69, -71, -69, -69} << "";
        QTest::newRow("failed point") << std::vector<double>{-60, nan, -60, -60, -80} << "+3";
    }
    void alarmEpisodes() {
        QFETCH(std::vector<double>, levels);
        QFETCH(QString, changes);
        kv::SettingValues band;
        band.centerFrequency = 915;
        band.span = 2;
        band.numberOfPoints = 1;
        QStringList made;
        std::vector<kv::AlarmEvent> events;
        std::size_t i = 0;
        kv::AlarmSink alarm(kv::Limit::level(-70), 3, 3, [&](const kv::AlarmEvent& event) {
            events.push_back(event);
            made << (event.active ? "+" : "-") + QString::number(i);
        });
        for (; i < levels.size(); ++i)
            alarm.sweepEnded(
                {.began = std::chrono::system_clock::time_point(std::chrono::seconds(i)),
                 .band = band,
                 .levelsDb = std::span(&levels[i], 1)});
        QCOMPARE(made.join(' '), changes);
        if (QByteArray(QTest::currentDataTag()) == "burst") {
            // Since the first sweep of the run; the episode's worst point; each point's share.
            QCOMPARE(formatAlarmMessage(events.front()),
                     std::string(R"({"active":true,"since":"1970-01-01T00:00:01.000Z",)"
                                 R"("peak_hz":915000000,"peak_db":-60.00,"excess_db":10.00,)"
                                 R"("points":[0],"occupancy":[0.75]})"));
        }
        if (QByteArray(QTest::currentDataTag()) == "failed point") {  // nor the worst point
            band.numberOfPoints = 2;
            const std::array<double, 2> two{std::nan(""), -60};
            const kv::LimitCheck check = kv::checkSweep(kv::Limit::level(-70), band, two);
            QCOMPARE(std::pair(check.worstPoint, check.worstExcessDb), std::pair(1, 10.0));
        }
    }

    void mqttOptions_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("parsed");  // tls user@host:port/prefix, or the error's start
        const QString url = "--mqtt";
        QTest::newRow("defaults") << QStringList{url, "mqtt://broker"} << "0 @broker:1883/kv3710";
        QTest::newRow("tls, user, IPv6, levels")
            << QStringList{url, "mqtts://logger@[::1]:8884/site/north", "--mqtt-cafile", "ca"}
            << "1 logger@::1:8884/site/north";
        QTest::newRow("tls port, empty path")
            << QStringList{url, "mqtts://b/"} << "1 @b:8883/kv3710";
        for (const char* bad :
             {"http://b", "b", "mqtt://", "mqtt://b:0", "mqtt://b:65536", "mqtt://b:", "mqtt://@b",
              "mqtt://[::1", "mqtt://b/a//c", "mqtt://b/a/+", "mqtt://b/#"})
            QTest::newRow(bad) << QStringList{url, bad} << "invalid value '" + QString(bad);
        // The option, its value, what it needs.
        for (const QStringList& row : {QStringList{"--mqtt-cafile", "ca", "--mqtt-cafile needs"},
                                       {"--mqtt-password-file", "pw", "--mqtt-password-file needs"},
                                       {"--mqtt-cafile", "", "invalid value ''"},
                                       {"--radio-id", "a/b", "invalid value 'a/b'"},
                                       {"--mqtt", "mqtt://u:pw@b", "the --mqtt URL holds a"}})
            QTest::newRow(qPrintable(row[0] + ' ' + row[1]))
                << QStringList{url, "mqtt://b", row[0], row[1]} << row[2];
    }
    void mqttOptions() {
        QFETCH(QStringList, args);
        QFETCH(QString, parsed);
        std::vector<std::string> words;
        for (const QString& arg : args) words.push_back(arg.toStdString());
        const OptionsResult result = parseOptions(words);
        if (!result.options) {
            QVERIFY2(QString::fromStdString(result.error).startsWith(parsed), result.error.c_str());
            return;
        }
        const MqttUrl& u = *result.options->mqtt;
        QCOMPARE(QString::fromStdString(std::to_string(u.tls) + ' ' + u.user.value_or("") + '@' +
                                        u.host + ':' + std::to_string(u.port) + '/' + u.prefix),
                 parsed);
    }

    // Only an acknowledgement takes a message out; a lost connection sends the rest again, oldest
    // first; past the bound the oldest go, with one warning per episode.
    void queueKeepsWhatIsNotAcknowledged() {
        kv::mqtt::OutboundQueue queue(3);
        const auto next = [&](std::size_t window) {
            const auto* message = queue.nextToSend(window);
            return message ? message->payload : std::string("-");
        };
        for (const char* payload : {"0", "1", "2"}) QVERIFY(!queue.push({"t", payload}));
        QCOMPARE(next(2), "0");
        queue.sent(10);
        queue.sent(11);
        QCOMPARE(next(2), "-");  // the window is full
        queue.acknowledged(11);
        queue.acknowledged(99);  // not ours
        QCOMPARE(queue.size(), 2u);
        QCOMPARE(next(2), "2");
        queue.sent(12);
        queue.connectionLost();
        QCOMPARE(next(2), "0");
        queue.sent(20);
        QVERIFY(!queue.push({"t", "3"}));
        QVERIFY(queue.push({"t", "4"}));   // pushes out "0", which was in flight
        QVERIFY(!queue.push({"t", "5"}));  // the same episode
        queue.acknowledged(20);            // the "0" is no longer here
        QCOMPARE(queue.size(), 3u);
        QCOMPARE(next(1), "3");
        queue.sent(21);
        queue.acknowledged(21);
        QVERIFY(!queue.push({"t", "6"}));
        QVERIFY(queue.push({"t", "7"}));  // an acknowledgement ended the episode
        QCOMPARE(queue.dropped(), 3u);
        QCOMPARE(next(3), "5");
    }
};

QTEST_GUILESS_MAIN(PowerCsvTest)
#include "test_power_csv.moc"
