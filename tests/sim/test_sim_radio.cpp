// The emulated radio byte for byte: the dialogue, reassembly of split and merged arrivals, the
// faults it injects, pacing, and its level scale as the analyzer reads it back.
#include <QtTest>

#include "level_conversion.h"
#include "sim_levels.h"
#include "sim_options.h"
#include "sim_radio.h"
#include "sim_replay.h"

using namespace kv::sim;
using namespace std::chrono_literals;

namespace {

const std::string kEnter = "AT+++\r";
const std::string kConfirm = "\xCC\x65";
const std::string kLevel = "\x21\x02";
const std::string kCom =
    "\xCC"
    "COM";
const std::string kFloor("\x21\x02\x66\x01", 4);    // -95 dB: converter 358
const std::string kCarrier("\x21\x02\x33\x00", 4);  // -50 dB: converter 51
std::string channel(int ch) {
    return {'\xB1', static_cast<char>(ch), '\0'};
}

QByteArray hex(std::string_view bytes) {
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())).toHex(' ');
}

std::string joined(const std::vector<Reply>& replies) {
    std::string all;
    for (const Reply& reply : replies) all += reply.bytes;
    return all;
}

// The floor exactly at -95 dB, one carrier of -50 dB on channel 5.
RadioEmulator makeRadio(bool commandMode, RadioConfig config = {}, double noiseSpread = 0) {
    SceneConfig scene;
    scene.noiseSpreadDb = noiseSpread;
    scene.carriers.push_back({5, -50.0, 1.0});
    RadioEmulator radio(std::move(config), std::move(scene));
    if (commandMode) radio.receive(kEnter + kConfirm, 0ns);
    return radio;
}

// Enter, measure, leave and enter again, with stray bytes and channels that look like commands.
const std::string kDialogue = kEnter + kConfirm + channel(0) + kLevel + channel(5) + kLevel +
                              std::string("\x00\x13", 2) + channel(0xB1) + kLevel + "V" + "\xCC" +
                              "ATO\r" + kEnter + kConfirm + channel(0xCC) + kLevel;

}  // namespace

class SimRadioTest : public QObject {
    Q_OBJECT
  private slots:
    void dialogue_data() {
        QTest::addColumn<bool>("commandMode");
        QTest::addColumn<std::string>("input");
        QTest::addColumn<std::string>("reply");
        QTest::addColumn<int>("modeAfter");
        const auto row = [](const char* name, bool command, const std::string& in,
                            const std::string& out, RadioMode mode) {
            QTest::newRow(name) << command << in << out << int(mode);
        };
        row("attention", false, kEnter, kCom, RadioMode::Escape);
        row("attention, CC 65", false, kEnter + kConfirm, kCom + "\x65", RadioMode::Command);
        row("a byte between", false, kEnter + "X" + kConfirm, kCom, RadioMode::Data);
        row("attention twice", false, kEnter + kEnter + kConfirm, kCom + kCom + "\x65",
            RadioMode::Command);
        row("doubled A", false, "AAT+++\r", kCom, RadioMode::Escape);
        row("broken attention first", false, "AT++" + kEnter, kCom, RadioMode::Escape);
        row("data before attention", false, std::string("hi\xB1\0\0", 5) + kEnter, kCom,
            RadioMode::Escape);
        row("commands in data mode", false, channel(5) + kLevel + "V", "", RadioMode::Data);
        row("channel and level", true, channel(5) + kLevel, channel(5) + kCarrier,
            RadioMode::Command);
        row("floor", true, channel(0) + kLevel, channel(0) + kFloor, RadioMode::Command);
        row("version", true, "V", "V1.0\r", RadioMode::Command);
        row("exit", true,
            "\xCC"
            "ATO\r",
            "\xCC"
            "DAT",
            RadioMode::Data);
        row("attention in command mode", true, kEnter + channel(7), channel(7), RadioMode::Command);
        row("stray bytes", true, std::string("\0\x13\xFF", 3) + channel(9), channel(9),
            RadioMode::Command);
        row("channel with a bad last byte", true, "\xB1\x05\x07" + kLevel, kFloor,
            RadioMode::Command);
        row("channel cut by a level", true, "\xB1\x05" + kLevel, kFloor, RadioMode::Command);
        row("broken exit", true, "\xCC\x41\x54" + channel(3), channel(3), RadioMode::Command);
        row("21 twice", true, "\x21" + kLevel, kFloor, RadioMode::Command);
        row("CC 65 in command mode", true, kConfirm + channel(4), channel(4), RadioMode::Command);
    }
    void dialogue() {
        QFETCH(bool, commandMode);
        QFETCH(std::string, input);
        QFETCH(std::string, reply);
        QFETCH(int, modeAfter);
        RadioEmulator radio = makeRadio(commandMode);
        QCOMPARE(hex(joined(radio.receive(input, 0ns))), hex(reply));
        QCOMPARE(int(radio.mode()), modeAfter);
    }

    void splitAndMergedArrivals_data() {
        QTest::addColumn<std::vector<std::size_t>>("cuts");
        QTest::newRow("merged") << std::vector<std::size_t>{};
        std::vector<std::size_t> everyByte;
        for (std::size_t i = 1; i < kDialogue.size(); ++i) {
            QTest::addRow("cut at %zu", i) << std::vector<std::size_t>{i};
            everyByte.push_back(i);
        }
        QTest::newRow("byte by byte") << everyByte;
    }
    void splitAndMergedArrivals() {
        QFETCH(std::vector<std::size_t>, cuts);
        RadioEmulator whole = makeRadio(false, {}, 2.0);
        const std::vector<Reply> expected = whole.receive(kDialogue, 0ns);
        QCOMPARE(expected.size(), 14u);
        RadioEmulator pieces = makeRadio(false, {}, 2.0);
        std::vector<Reply> got;
        std::size_t start = 0;
        cuts.push_back(kDialogue.size());
        for (std::size_t cut : cuts) {
            for (Reply& r :
                 pieces.receive(std::string_view(kDialogue).substr(start, cut - start), 0ns))
                got.push_back(std::move(r));
            start = cut;
        }
        QCOMPARE(got.size(), expected.size());
        for (std::size_t i = 0; i < got.size(); ++i)
            QCOMPARE(hex(got[i].bytes), hex(expected[i].bytes));
        QCOMPARE(pieces.counters().ignoredBytes, 2u);
    }

    // The fault hits one command sent at 1 s; the same command sent again is answered cleanly.
    // `clean` must begin (or with `atEnd`, end) the faulty reply, within the bytes it has.
    void faults_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<std::string>("command");
        QTest::addColumn<std::string>("faulty");
        QTest::addColumn<int>("minSize");
        QTest::addColumn<int>("maxSize");
        QTest::addColumn<bool>("atEnd");
        QTest::addColumn<int>("sendAtMs");
        const auto row = [](const char* name, FaultKind k, const std::string& cmd,
                            const std::string& faulty, int min, int max, bool end, int at) {
            QTest::newRow(name) << int(k) << cmd << faulty << min << max << end << at;
        };
        row("wrong echo", FaultKind::WrongEcho, channel(5), channel(6), 3, 3, false, 1000);
        row("extra bytes after the echo", FaultKind::ExtraEcho, channel(8), channel(8), 4, 6, false,
            1000);
        row("level cut short", FaultKind::ShortLevel, kLevel, kFloor, 1, 3, false, 1000);
        row("garbage first", FaultKind::Garbage, channel(4), channel(4), 4, 7, true, 1000);
        row("pause", FaultKind::Pause, channel(4), channel(4), 3, 3, false, 3500);
        row("dead", FaultKind::Dead, channel(4), "", 0, 0, false, 0);
        row("vanish", FaultKind::Vanish, channel(4), "", 0, 0, false, 0);
    }
    void faults() {
        QFETCH(int, kind);
        QFETCH(std::string, command);
        QFETCH(std::string, faulty);
        QFETCH(int, minSize);
        QFETCH(int, maxSize);
        QFETCH(bool, atEnd);
        QFETCH(int, sendAtMs);
        const auto fault = static_cast<FaultKind>(kind);
        RadioConfig config;
        config.faults.deadFor = 500ms;
        config.faults.vanishFor = 750ms;
        RadioEmulator radio = makeRadio(true, config);
        radio.injectNext(fault, 1);
        const std::vector<Reply> first = radio.receive(command, 1s);
        const std::string got = joined(first);
        QVERIFY2(int(got.size()) >= minSize && int(got.size()) <= maxSize, hex(got));
        const std::size_t n = std::min(got.size(), faulty.size());
        QCOMPARE(hex(atEnd ? got.substr(got.size() - n) : got.substr(0, n)),
                 hex(faulty.substr(0, n)));
        if (!first.empty())
            QCOMPARE(first.back().sendAt, SimTime{std::chrono::milliseconds(sendAtMs)});
        QCOMPARE(radio.counters().fault(fault), 1u);

        const std::vector<Reply> again = radio.receive(command, 2s);
        if (fault == FaultKind::Vanish) {
            QCOMPARE(radio.takeVanishRequest(), std::optional{750ms});
            QCOMPARE(radio.mode(), RadioMode::Data);  // the radio lost power
            QVERIFY(again.empty());
            return;
        }
        const std::string clean = command == kLevel ? kFloor : command;
        QCOMPARE(hex(joined(again)), hex(clean));
        // A late reply is not overtaken on the line.
        if (!first.empty()) QVERIFY(again.front().sendAt >= first.back().sendAt);
    }

    void scheduledAndRandomFaults() {
        RadioConfig config;
        config.faults.scheduled.push_back({FaultKind::WrongEcho, 3, 2});
        config.faults.scheduled.push_back({FaultKind::Dead, 6, 1});
        config.faults.deadFor = 100ms;
        RadioEmulator radio = makeRadio(true, config);  // commands 1 and 2
        std::string got;
        for (int i = 0; i < 4; ++i) got += joined(radio.receive(channel(1), 0ms));
        QCOMPARE(hex(got), hex(channel(1) + channel(2) + channel(2) + channel(1)));
        QVERIFY(radio.receive(channel(1), 10ms).empty());  // dead from 10 to 110 ms
        QVERIFY(radio.receive(channel(1), 109ms).empty());
        QCOMPARE(hex(joined(radio.receive(channel(1), 110ms))), hex(channel(1)));
        QCOMPARE(radio.counters().unanswered, 2u);

        RadioConfig chance;
        chance.faults.probability[static_cast<std::size_t>(FaultKind::WrongEcho)] = 0.25;
        RadioEmulator dice = makeRadio(true, chance);
        int wrong = 0;
        for (int i = 0; i < 2000; ++i)
            wrong += joined(dice.receive(channel(i % 200), 0ms)) != channel(i % 200);
        QVERIFY2(wrong > 400 && wrong < 600, qPrintable(QString::number(wrong)));
        dice.clearFaults();
        QCOMPARE(hex(joined(dice.receive(channel(1), 0ms))), hex(channel(1)));
    }

    // 10 bits per byte, command in plus reply out, rounded up to the nanosecond.
    void pacing_data() {
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("latencyMs");
        QTest::addColumn<std::string>("command");
        QTest::addColumn<qint64>("delayNs");
        QTest::newRow("channel at 115200") << 115200 << 0 << channel(3) << qint64{520834};
        QTest::newRow("exit at 9600") << 9600 << 0
                                      << std::string(
                                             "\xCC"
                                             "ATO\r")
                                      << qint64{9375000};
        QTest::newRow("channel at 9600 plus 3 ms") << 9600 << 3 << channel(3) << qint64{9250000};
        QTest::newRow("latency only") << 0 << 4 << kLevel << qint64{4000000};
        QTest::newRow("merged replies keep their order")
            << 115200 << 0 << kLevel + channel(1) << qint64{520834};
    }
    void pacing() {
        QFETCH(int, baud);
        QFETCH(int, latencyMs);
        QFETCH(std::string, command);
        QFETCH(qint64, delayNs);
        RadioConfig config;
        config.pacing = {baud, std::chrono::milliseconds{latencyMs}};
        RadioEmulator radio = makeRadio(true, config);
        const std::vector<Reply> replies = radio.receive(command, 2s);
        QCOMPARE(replies.back().sendAt.count(), SimTime{2s}.count() + delayNs);
        QVERIFY(replies.front().sendAt <= replies.back().sendAt);
    }

    // A replayed log: one line per sweep (a sweep begins when channel 0 follows a level), looping;
    // levels rounded half to even and clamped; a sweep of another channel count takes the bins
    // nearest to its channels' frequencies; "nan" takes its left neighbour.
    void replayOneLinePerSweep() {
        const ReplayLoad load = parseReplay(
            "2026-12-07, 03:00:00, 1000, 1500, 100, 1, -90, -80.5, -70, -60, -50\r\n\n"
            "2026-12-07, 03:00:01, 1000, 1500, 100.00, 3, -99.5, nan, -41.2, -61.5, -51\n");
        QVERIFY2(load.error.empty(), load.error.c_str());
        SceneConfig config;
        config.replay = load.rows;
        Scene scene(config);
        const auto sweep = [&](int channels) {
            std::vector<int> levels;
            for (int ch = 0; ch < channels; ++ch) {
                scene.tuned(ch);
                scene.tuned(ch);  // a repeated channel (a retry) starts nothing
                levels.push_back(scene.measure(ch, 0ns));
            }
            return levels;
        };
        QCOMPARE(sweep(5), (std::vector<int>{-90, -80, -70, -60, -50}));
        QCOMPARE(sweep(5), (std::vector<int>{-97, -97, -42, -62, -51}));
        QCOMPARE(sweep(2), (std::vector<int>{-90, -80}));
        // Two channels over the band 900..1500 Hz lie at 1100 and 1300 Hz.
        QCOMPARE(sweep(2), (std::vector<int>{-97, -62}));
        QVERIFY(!parseReplay("2026-12-07, 03:00:00, 1000.5, 1500, 100, 1, -90").error.empty());
        QVERIFY(!parseReplay("2026-12-07,03:00:00,1000,1500,100,1,-90").error.empty());
    }

    // Every level the radio can report reads back as itself through the analyzer's conversion.
    void levelsReadBack() {
        for (int level = kMinLevelDb; level <= kMaxLevelDb; ++level)
            QCOMPARE(kv::levelFromReading(levelToRaw(level), -40), double(level));
        QCOMPARE(levelToRaw(-120.0), levelToRaw(kMinLevelDb));
        QCOMPARE(levelToRaw(-10.0), std::uint16_t{0});
    }

    void options_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("valid");
        QTest::newRow("none") << QStringList{} << true;
        QTest::newRow("everything") << QStringList{"--link",
                                                   "/tmp/x",
                                                   "--log=/tmp/l",
                                                   "--sweep-log",
                                                   "/tmp/s",
                                                   "--seed",
                                                   "7",
                                                   "--noise-floor",
                                                   "-90",
                                                   "--noise-spread",
                                                   "1.5",
                                                   "--carrier",
                                                   "20:-50:3",
                                                   "--carrier",
                                                   "30:-60",
                                                   "--hopper",
                                                   "250:-55:0-99",
                                                   "--baud",
                                                   "115200",
                                                   "--latency-ms",
                                                   "2",
                                                   "--fault",
                                                   "dead:100",
                                                   "--fault",
                                                   "wrong-echo:5:0",
                                                   "--fault-prob",
                                                   "all:0.01",
                                                   "--dead-ms",
                                                   "3000",
                                                   "--pause-ms",
                                                   "2600",
                                                   "--vanish-ms",
                                                   "500",
                                                   "--version-text",
                                                   "V2.1"}
                                    << true;
        QTest::newRow("bare hopper, then more") << QStringList{"--hopper", "--seed", "3"} << true;
        for (const QStringList& bad : {QStringList{"--frob", "1"},
                                       {"--baud"},
                                       {"--baud", "fast"},
                                       {"--baud", "-1"},
                                       {"--carrier", "5"},
                                       {"--carrier", "256:-50"},
                                       {"--hopper", "100:-50:9-3"},
                                       {"--fault", "smoke"},
                                       {"--fault-prob", "pause:2"},
                                       {"--help=yes"},
                                       {"radio"},
                                       {"--version-text", "1.0"}})
            QTest::newRow(qPrintable(bad.join(' '))) << bad << false;
    }
    void options() {
        QFETCH(QStringList, args);
        QFETCH(bool, valid);
        std::vector<std::string> list;
        for (const QString& arg : args) list.push_back(arg.toStdString());
        const OptionsResult result = parseOptions(list);
        QCOMPARE(result.options.has_value(), valid);
        QCOMPARE(result.error.empty(), valid);
        if (args.size() > 10) {
            const SimOptions& o = *result.options;
            QCOMPARE(o.scene.carriers.size(), 2u);
            QCOMPARE(o.scene.carriers[0].widthChannels, 3.0);
            QCOMPARE(o.scene.hopper->period, 250ms);
            QCOMPARE(o.radio.faults.scheduled[1].count, 0u);
            QCOMPARE(o.radio.faults.probability[static_cast<std::size_t>(FaultKind::Pause)], 0.01);
            QCOMPARE(o.radio.faults.probability[static_cast<std::size_t>(FaultKind::Dead)], 0.0);
        }
    }
};

QTEST_GUILESS_MAIN(SimRadioTest)
#include "test_sim_radio.moc"
