// The emulated radio byte for byte: the command-mode dialogue, reassembly of split and merged
// arrivals, faults, the scene, pacing and the level scale as the analyzer reads it back.
#include <QtTest>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "sim_levels.h"
#include "sim_options.h"
#include "sim_radio.h"
#include "sim_replay.h"
#include "sim_scene.h"

using namespace kv::sim;
using namespace std::chrono_literals;

namespace {

// How the analyzer turns a converter reading into a level: single-precision volts, limited
// to 1.2 V, then whole dB rounded half to even.
int programLevel(unsigned raw) {
    float volts = static_cast<float>(raw / 1023.0 * 3.3);
    if (volts > 1.2f) volts = 1.2f;
    return static_cast<int>(std::nearbyint((1.2 - volts) / 0.022 - 97));
}

const std::string kAttention = "AT+++\r";
const std::string kEscape = "\xCC\x65";
const std::string kVersion = "V";
const std::string kExit =
    "\xCC"
    "ATO\r";
const std::string kLevel = "\x21\x02";
std::string channel(int ch) {
    return std::string{'\xB1', static_cast<char>(ch), '\x00'};
}

// Enter, measure, leave and enter again, with two stray bytes and channels that look like
// command bytes.
std::string dialogueWithStrayBytes() {
    return kAttention + kEscape + channel(0) + kLevel + channel(5) + kLevel +
           std::string("\x00\x13", 2) + channel(0xB1) + kLevel + kVersion + kExit + kAttention +
           kEscape + channel(0xCC) + kLevel;
}

QByteArray hex(const std::string& bytes) {
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())).toHex(' ');
}

std::string joined(const std::vector<Reply>& replies) {
    std::string all;
    for (const Reply& reply : replies) all += reply.bytes;
    return all;
}

// A quiet scene: the floor exactly at -95 dB, one carrier of -50 dB on channel 5.
SceneConfig quietScene() {
    SceneConfig scene;
    scene.noiseSpreadDb = 0.0;
    scene.carriers.push_back({5, -50.0, 1.0});
    return scene;
}

RadioEmulator commandModeRadio(RadioConfig config = {}, SceneConfig scene = quietScene()) {
    RadioEmulator radio(std::move(config), std::move(scene));
    radio.receive(kAttention + kEscape, 0ns);
    return radio;
}

std::string reply(RadioEmulator& radio, const std::string& bytes, SimTime now = 0ns) {
    return joined(radio.receive(bytes, now));
}

}  // namespace

class SimRadioTest : public QObject {
    Q_OBJECT
  private slots:
    void dialogueByteForByte();
    void attentionIsNoCommandInCommandMode();
    void escapeNeedsCc65RightAfterAttention();
    void splitAndMergedArrivals_data();
    void splitAndMergedArrivals();
    void unknownBytesIgnored_data();
    void unknownBytesIgnored();
    void deadFromTheStartForGood();
    void deadAfterCommandsForATime();
    void deadAndAliveLive();
    void wrongEcho();
    void extraBytesAfterEcho();
    void levelReplyCutShort();
    void garbageBeforeReply();
    void pauseLongerThanTheReplyWait();
    void vanishLosesCommandAndMode();
    void scheduleAfterAndCount();
    void probabilityPerCommand();
    void sweepObserverOnChannelZero();
    void pacing_data();
    void pacing();
    void repliesKeepTheirOrder();
    void sceneNoiseFollowsSeed();
    void sceneCarrierShape_data();
    void sceneCarrierShape();
    void sceneHopper();
    void replayOneLinePerSweep();
    void programConversionMatchesReadingTable_data();
    void programConversionMatchesReadingTable();
    void everyLevelRoundTrips();
    void options_data();
    void options();
};

void SimRadioTest::dialogueByteForByte() {
    RadioEmulator radio({}, quietScene());
    QCOMPARE(hex(reply(radio, kAttention)), hex("\xCC"
                                                "COM"));
    QCOMPARE(radio.mode(), RadioMode::Escape);
    QCOMPARE(hex(reply(radio, kEscape)), hex("\x65"));
    QCOMPARE(radio.mode(), RadioMode::Command);
    QCOMPARE(hex(reply(radio, channel(5))), hex(channel(5)));
    // -50 dB: 0.166 V, converter 51.
    QCOMPARE(hex(reply(radio, kLevel)), hex(std::string("\x21\x02\x33\x00", 4)));
    QCOMPARE(hex(reply(radio, channel(0))), hex(channel(0)));
    // -95 dB: 1.156 V, converter 358 = 0x0166.
    QCOMPARE(hex(reply(radio, kLevel)), hex("\x21\x02\x66\x01"));
    QCOMPARE(hex(reply(radio, kVersion)), hex("V1.0\r"));
    QCOMPARE(hex(reply(radio, kExit)), hex("\xCC"
                                           "DAT"));
    QCOMPARE(radio.mode(), RadioMode::Data);
    // Out of command mode the measurement commands are just data.
    QCOMPARE(hex(reply(radio, channel(5) + kLevel + kVersion)), QByteArray());
    QCOMPARE(radio.counters().commands, 8u);
    QCOMPARE(radio.counters().answered, 8u);
}

void SimRadioTest::attentionIsNoCommandInCommandMode() {
    RadioEmulator radio = commandModeRadio();
    QCOMPARE(hex(reply(radio, kAttention)), QByteArray());
    QCOMPARE(radio.mode(), RadioMode::Command);
    QCOMPARE(hex(reply(radio, channel(7))), hex(channel(7)));
}

void SimRadioTest::escapeNeedsCc65RightAfterAttention() {
    RadioEmulator radio({}, quietScene());
    QCOMPARE(hex(reply(radio, kAttention + "X" + kEscape)), hex("\xCC"
                                                                "COM"));
    QCOMPARE(radio.mode(), RadioMode::Data);
    // A repeated attention is answered again, and then CC 65 enters command mode.
    QCOMPARE(hex(reply(radio, kAttention + kAttention + kEscape)), hex("\xCC"
                                                                       "COM\xCC"
                                                                       "COM\x65"));
    QCOMPARE(radio.mode(), RadioMode::Command);
}

void SimRadioTest::splitAndMergedArrivals_data() {
    QTest::addColumn<std::vector<std::size_t>>("cuts");
    const std::string stream = dialogueWithStrayBytes();
    QTest::newRow("merged") << std::vector<std::size_t>{};
    std::vector<std::size_t> everyByte;
    for (std::size_t i = 1; i < stream.size(); ++i) {
        QTest::addRow("cut at %zu", i) << std::vector<std::size_t>{i};
        everyByte.push_back(i);
    }
    QTest::newRow("byte by byte") << everyByte;
    QTest::newRow("several cuts") << std::vector<std::size_t>{3, 7, 9, 12, 20, 21, 30, 41, 42};
}

void SimRadioTest::splitAndMergedArrivals() {
    QFETCH(std::vector<std::size_t>, cuts);
    const std::string stream = dialogueWithStrayBytes();
    SceneConfig scene = quietScene();
    scene.noiseSpreadDb = 2.0;
    RadioEmulator whole({}, scene);
    const std::vector<Reply> expected = whole.receive(stream, 0ns);
    QCOMPARE(expected.size(), 14u);

    RadioEmulator pieces({}, scene);
    std::vector<Reply> got;
    std::size_t start = 0;
    cuts.push_back(stream.size());
    for (std::size_t cut : cuts) {
        for (Reply& r : pieces.receive(std::string_view(stream).substr(start, cut - start), 0ns)) {
            got.push_back(std::move(r));
        }
        start = cut;
    }
    QCOMPARE(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i)
        QCOMPARE(hex(got[i].bytes), hex(expected[i].bytes));
    QCOMPARE(pieces.counters().ignoredBytes, 2u);
}

void SimRadioTest::unknownBytesIgnored_data() {
    QTest::addColumn<bool>("commandMode");
    QTest::addColumn<std::string>("input");
    QTest::addColumn<std::string>("expected");
    QTest::newRow("stray bytes before a channel")
        << true << std::string("\x00\x13\xFF", 3) + channel(9) << channel(9);
    QTest::newRow("channel with a bad last byte, then a level")
        << true << std::string("\xB1\x05\x07") + kLevel << std::string("\x21\x02\x66\x01");
    QTest::newRow("channel cut short by a level")
        << true << std::string("\xB1\x05") + kLevel << std::string("\x21\x02\x66\x01");
    QTest::newRow("broken exit, then a channel")
        << true << std::string("\xCC\x41\x54") + channel(3) << channel(3);
    QTest::newRow("21 twice") << true << std::string("\x21") + kLevel
                              << std::string("\x21\x02\x66\x01");
    QTest::newRow("CC 65 in command mode") << true << kEscape + channel(4) << channel(4);
    QTest::newRow("doubled A before attention") << false << std::string("AAT+++\r")
                                                << std::string(
                                                       "\xCC"
                                                       "COM");
    QTest::newRow("broken attention, then attention") << false << std::string("AT++AT+++\r")
                                                      << std::string(
                                                             "\xCC"
                                                             "COM");
    QTest::newRow("data before attention")
        << false << std::string("hello\xB1\x00\x00", 8) + kAttention
        << std::string(
               "\xCC"
               "COM");
}

void SimRadioTest::unknownBytesIgnored() {
    QFETCH(bool, commandMode);
    QFETCH(std::string, input);
    QFETCH(std::string, expected);
    RadioEmulator radio = commandMode ? commandModeRadio() : RadioEmulator({}, quietScene());
    QCOMPARE(hex(reply(radio, input)), hex(expected));
}

void SimRadioTest::deadFromTheStartForGood() {
    RadioConfig config;
    config.faults.scheduled.push_back({FaultKind::Dead, 0, 1});
    RadioEmulator radio(config, quietScene());
    QCOMPARE(hex(reply(radio, kAttention, 0ms)), QByteArray());
    QCOMPARE(hex(reply(radio, kAttention, 1h)), QByteArray());
    QCOMPARE(radio.counters().unanswered, 2u);
    QCOMPARE(radio.counters().fault(FaultKind::Dead), 1u);
    QCOMPARE(radio.mode(), RadioMode::Data);
}

void SimRadioTest::deadAfterCommandsForATime() {
    RadioConfig config;
    config.faults.scheduled.push_back({FaultKind::Dead, 3, 1});
    config.faults.deadFor = 100ms;
    RadioEmulator radio(config, quietScene());
    QCOMPARE(radio.receive(kAttention + kEscape + channel(1), 0ms).size(), 3u);
    QCOMPARE(hex(reply(radio, kLevel, 10ms)), QByteArray());  // dead from here to 110 ms
    QCOMPARE(hex(reply(radio, kLevel, 109ms)), QByteArray());
    QCOMPARE(hex(reply(radio, channel(2), 110ms)), hex(channel(2)));
    QCOMPARE(hex(reply(radio, channel(3), 10s)), hex(channel(3)));
    QCOMPARE(radio.counters().unanswered, 2u);
    QCOMPARE(radio.counters().fault(FaultKind::Dead), 1u);
}

void SimRadioTest::deadAndAliveLive() {
    RadioEmulator radio = commandModeRadio();
    radio.goDead(1s, 0ms);
    QVERIFY(radio.isDead(1h));
    QCOMPARE(hex(reply(radio, channel(1), 2s)), QByteArray());
    radio.revive();
    QCOMPARE(hex(reply(radio, channel(1), 3s)), hex(channel(1)));
    radio.goDead(4s, 500ms);
    QCOMPARE(hex(reply(radio, channel(2), 4400ms)), QByteArray());
    QCOMPARE(hex(reply(radio, channel(2), 4500ms)), hex(channel(2)));
    QCOMPARE(radio.counters().fault(FaultKind::Dead), 2u);
}

void SimRadioTest::wrongEcho() {
    RadioEmulator radio = commandModeRadio();
    radio.injectNext(FaultKind::WrongEcho, 1);
    QCOMPARE(hex(reply(radio, kLevel)), hex("\x21\x02\x66\x01"));  // not a channel command
    QCOMPARE(hex(reply(radio, channel(5))), hex(channel(6)));
    QCOMPARE(radio.channel(), 5);
    QCOMPARE(hex(reply(radio, channel(5))), hex(channel(5)));
    QCOMPARE(radio.counters().fault(FaultKind::WrongEcho), 1u);
}

void SimRadioTest::extraBytesAfterEcho() {
    RadioEmulator radio = commandModeRadio();
    radio.injectNext(FaultKind::ExtraEcho, 1);
    const std::string got = reply(radio, channel(8));
    QVERIFY(got.size() >= 4 && got.size() <= 6);
    QCOMPARE(hex(got.substr(0, 3)), hex(channel(8)));
    QCOMPARE(hex(reply(radio, channel(8))), hex(channel(8)));
    QCOMPARE(radio.counters().fault(FaultKind::ExtraEcho), 1u);
}

void SimRadioTest::levelReplyCutShort() {
    RadioEmulator radio = commandModeRadio();
    radio.injectNext(FaultKind::ShortLevel, 1);
    QCOMPARE(hex(reply(radio, channel(5))), hex(channel(5)));
    const std::string got = reply(radio, kLevel);
    QVERIFY(!got.empty() && got.size() < 4);
    QCOMPARE(hex(got), hex(std::string("\x21\x02\x33\x00", 4).substr(0, got.size())));
    QCOMPARE(hex(reply(radio, kLevel)), hex(std::string("\x21\x02\x33\x00", 4)));
    QCOMPARE(radio.counters().fault(FaultKind::ShortLevel), 1u);
}

void SimRadioTest::garbageBeforeReply() {
    RadioEmulator radio = commandModeRadio();
    radio.injectNext(FaultKind::Garbage, 1);
    const std::string got = reply(radio, channel(4));
    QVERIFY(got.size() >= 4 && got.size() <= 7);
    QCOMPARE(hex(got.substr(got.size() - 3)), hex(channel(4)));
    QCOMPARE(radio.counters().fault(FaultKind::Garbage), 1u);
}

void SimRadioTest::pauseLongerThanTheReplyWait() {
    RadioEmulator radio = commandModeRadio();
    radio.injectNext(FaultKind::Pause, 1);
    const std::vector<Reply> late = radio.receive(channel(4), 1s);
    QCOMPARE(late.size(), 1u);
    QCOMPARE(late[0].sendAt, SimTime{3500ms});
    QCOMPARE(hex(late[0].bytes), hex(channel(4)));
    // The next reply cannot overtake it on the line.
    QCOMPARE(radio.receive(kLevel, 2s).at(0).sendAt, SimTime{3500ms});
}

void SimRadioTest::vanishLosesCommandAndMode() {
    RadioConfig config;
    config.faults.vanishFor = 750ms;
    RadioEmulator radio = commandModeRadio(config);
    QVERIFY(!radio.takeVanishRequest());
    radio.injectNext(FaultKind::Vanish, 1);
    QCOMPARE(hex(reply(radio, channel(9) + channel(10))), QByteArray());
    QCOMPARE(radio.takeVanishRequest(), std::optional{750ms});
    QVERIFY(!radio.takeVanishRequest());
    QCOMPARE(radio.mode(), RadioMode::Data);
    QCOMPARE(radio.counters().fault(FaultKind::Vanish), 1u);
    radio.unplug(true);  // pulled by hand
    QCOMPARE(radio.counters().fault(FaultKind::Vanish), 2u);
}

void SimRadioTest::scheduleAfterAndCount() {
    RadioConfig config;
    config.faults.scheduled.push_back({FaultKind::WrongEcho, 3, 2});
    RadioEmulator radio = commandModeRadio(config);            // commands 1 and 2
    QCOMPARE(hex(reply(radio, channel(1))), hex(channel(1)));  // 3: not after 3 yet
    QCOMPARE(hex(reply(radio, kLevel)), hex("\x21\x02\x66\x01"));
    QCOMPARE(hex(reply(radio, channel(1))), hex(channel(2)));
    QCOMPARE(hex(reply(radio, channel(1))), hex(channel(2)));
    QCOMPARE(hex(reply(radio, channel(1))), hex(channel(1)));

    RadioConfig always;
    always.faults.scheduled.push_back({FaultKind::ExtraEcho, 0, 0});
    RadioEmulator every = commandModeRadio(always);
    for (int i = 0; i < 5; ++i) QVERIFY(reply(every, channel(i)).size() > 3);
    QCOMPARE(every.counters().fault(FaultKind::ExtraEcho), 5u);
    every.clearFaults();
    every.injectNext(FaultKind::WrongEcho, 0);
    for (int i = 0; i < 5; ++i) QCOMPARE(hex(reply(every, channel(i))), hex(channel(i + 1)));
}

void SimRadioTest::probabilityPerCommand() {
    RadioConfig config;
    config.faults.probability[static_cast<std::size_t>(FaultKind::WrongEcho)] = 0.25;
    RadioEmulator radio = commandModeRadio(config);
    int wrong = 0;
    for (int i = 0; i < 2000; ++i) {
        if (reply(radio, channel(i % 200)) != channel(i % 200)) ++wrong;
    }
    QCOMPARE(static_cast<std::uint64_t>(wrong), radio.counters().fault(FaultKind::WrongEcho));
    QVERIFY2(wrong > 400 && wrong < 600, qPrintable(QString::number(wrong)));
    radio.clearFaults();
    QCOMPARE(hex(reply(radio, channel(1))), hex(channel(1)));
}

void SimRadioTest::sweepObserverOnChannelZero() {
    RadioEmulator radio = commandModeRadio();
    std::vector<SimTime> starts;
    radio.setSweepObserver([&](SimTime t) { starts.push_back(t); });
    radio.receive(channel(0) + channel(1), 5ms);
    radio.receive(channel(0), 9ms);
    QCOMPARE(starts, (std::vector<SimTime>{5ms, 9ms}));
    QCOMPARE(radio.counters().sweeps, 2u);
}

void SimRadioTest::pacing_data() {
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("latencyMs");
    QTest::addColumn<std::string>("command");
    QTest::addColumn<qint64>("delayNs");
    // 10 bits per byte, command in plus reply out, rounded up to the nanosecond.
    QTest::newRow("channel at 115200") << 115200 << 0 << channel(3) << qint64{520834};
    QTest::newRow("level at 115200") << 115200 << 0 << kLevel << qint64{520834};
    QTest::newRow("version at 115200") << 115200 << 0 << kVersion << qint64{520834};
    QTest::newRow("exit at 9600") << 9600 << 0 << kExit << qint64{9375000};
    QTest::newRow("channel at 9600 plus 3 ms") << 9600 << 3 << channel(3) << qint64{9250000};
    QTest::newRow("no pacing") << 0 << 0 << channel(3) << qint64{0};
    QTest::newRow("latency only") << 0 << 4 << kLevel << qint64{4000000};
}

void SimRadioTest::pacing() {
    QFETCH(int, baud);
    QFETCH(int, latencyMs);
    QFETCH(std::string, command);
    QFETCH(qint64, delayNs);
    RadioConfig config;
    config.pacing = {baud, std::chrono::milliseconds{latencyMs}};
    RadioEmulator radio = commandModeRadio(config);
    const std::vector<Reply> replies = radio.receive(command, 2s);
    QCOMPARE(replies.size(), 1u);
    QCOMPARE(replies[0].sendAt.count(), SimTime{2s}.count() + delayNs);
}

void SimRadioTest::repliesKeepTheirOrder() {
    RadioConfig config;
    config.pacing.baud = 115200;
    RadioEmulator radio(config, quietScene());
    const std::vector<Reply> replies = radio.receive(kAttention + kEscape + channel(1), 0ns);
    QCOMPARE(replies.size(), 3u);
    QCOMPARE(replies[0].sendAt, SimTime{868056});  // 6 + 4 bytes
    QCOMPARE(replies[1].sendAt, SimTime{868056});  // its own 3 bytes would be earlier
    QCOMPARE(replies[2].sendAt, SimTime{868056});
}

void SimRadioTest::sceneNoiseFollowsSeed() {
    SceneConfig config;
    config.seed = 42;
    config.noiseFloorDb = -80.0;
    config.noiseSpreadDb = 3.0;
    Scene scene(config);
    std::mt19937 reference(42);
    for (int i = 0; i < 200; ++i) {
        const double noise = -80.0 + 3.0 * (2.0 * reference() / 4294967296.0 - 1.0);
        QCOMPARE(scene.measure(i % 50, 0ns), static_cast<int>(std::nearbyint(noise)));
    }
    Scene again(config);
    config.seed = 43;
    Scene other(config);
    SceneConfig sameConfig;
    sameConfig.noiseFloorDb = -80.0;
    sameConfig.noiseSpreadDb = 3.0;
    sameConfig.seed = 42;
    Scene same(sameConfig);
    int differences = 0;
    for (int i = 0; i < 100; ++i) {
        const int level = again.measure(i, 0ns);
        QVERIFY(level >= -83 && level <= -77);
        QCOMPARE(same.measure(i, 0ns), level);
        if (other.measure(i, 0ns) != level) ++differences;
    }
    QVERIFY(differences > 20);
}

void SimRadioTest::sceneCarrierShape_data() {
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("level");
    // A 1-channel carrier of -50 dB on 10, a 4-channel one of -60 dB on 20, floor -95 dB,
    // a -30 dB carrier on 40 that the converter cannot follow.
    QTest::newRow("narrow centre") << 10 << -50;
    QTest::newRow("narrow next") << 11 << -74;
    QTest::newRow("narrow below") << 9 << -74;
    QTest::newRow("narrow two off") << 12 << -95;
    QTest::newRow("wide centre") << 20 << -60;
    QTest::newRow("wide half width") << 22 << -66;
    QTest::newRow("wide one off") << 19 << -61;  // -61.5, lifted a little by the floor
    QTest::newRow("wide full width") << 24 << -84;
    QTest::newRow("floor") << 30 << -95;
    QTest::newRow("too strong") << 40 << -42;
}

void SimRadioTest::sceneCarrierShape() {
    QFETCH(int, channel);
    QFETCH(int, level);
    SceneConfig config;
    config.noiseSpreadDb = 0.0;
    config.carriers = {{10, -50.0, 1.0}, {20, -60.0, 4.0}, {40, -30.0, 1.0}};
    Scene scene(config);
    QCOMPARE(scene.measure(channel, 0ns), level);

    config.noiseFloorDb = -120.0;
    Scene deaf(config);
    QCOMPARE(deaf.measure(30, 0ns), kMinLevelDb);
}

// A replayed log: one line per sweep (a sweep begins when channel 0 follows a level), looping;
// levels rounded half to even and clamped; a sweep of another channel count takes the bins
// nearest to its channels' frequencies; "nan" takes its left neighbour.
void SimRadioTest::replayOneLinePerSweep() {
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

void SimRadioTest::sceneHopper() {
    SceneConfig config;
    config.noiseSpreadDb = 0.0;
    config.hopper = Hopper{100ms, -55.0, 10, 29};
    Scene scene(config);
    std::vector<int> visited;
    for (int hop = 0; hop < 40; ++hop) {
        const SimTime start = hop * SimTime{100ms};
        const auto at = scene.hopperChannel(start);
        QVERIFY(at && *at >= 10 && *at <= 29);
        QCOMPARE(scene.hopperChannel(start + 99ms), at);
        QCOMPARE(scene.measure(*at, start + 50ms), -55);
        visited.push_back(*at);
    }
    std::sort(visited.begin(), visited.end());
    visited.erase(std::unique(visited.begin(), visited.end()), visited.end());
    QVERIFY(visited.size() >= 10);
    Scene same(config);
    QCOMPARE(same.hopperChannel(1234ms), scene.hopperChannel(1234ms));
}

void SimRadioTest::programConversionMatchesReadingTable_data() {
    QTest::addColumn<unsigned>("raw");
    QTest::addColumn<int>("level");
    QTest::newRow("0") << 0u << -42;
    QTest::newRow("1") << 1u << -43;
    QTest::newRow("100") << 100u << -57;
    QTest::newRow("200") << 200u << -72;
    QTest::newRow("300") << 300u << -86;
    QTest::newRow("371") << 371u << -97;
    QTest::newRow("372") << 372u << -97;
    QTest::newRow("1023") << 1023u << -97;
}

void SimRadioTest::programConversionMatchesReadingTable() {
    QFETCH(unsigned, raw);
    QFETCH(int, level);
    QCOMPARE(programLevel(raw), level);
}

void SimRadioTest::everyLevelRoundTrips() {
    for (int level = kMinLevelDb; level <= kMaxLevelDb; ++level) {
        const std::uint16_t raw = levelToRaw(level);
        QVERIFY(raw <= kConverterMax);
        QCOMPARE(programLevel(raw), level);
    }
    QCOMPARE(levelToRaw(-120.0), levelToRaw(kMinLevelDb));
    QCOMPARE(levelToRaw(-10.0), std::uint16_t{0});
}

void SimRadioTest::options_data() {
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
    QTest::newRow("bare hopper") << QStringList{"--hopper"} << true;
    QTest::newRow("bare hopper, then more") << QStringList{"--hopper", "--seed", "3"} << true;
    QTest::newRow("unknown") << QStringList{"--frob", "1"} << false;
    QTest::newRow("missing value") << QStringList{"--baud"} << false;
    QTest::newRow("bad number") << QStringList{"--baud", "fast"} << false;
    QTest::newRow("negative baud") << QStringList{"--baud", "-1"} << false;
    QTest::newRow("carrier without level") << QStringList{"--carrier", "5"} << false;
    QTest::newRow("carrier off the band") << QStringList{"--carrier", "256:-50"} << false;
    QTest::newRow("hopper backwards range") << QStringList{"--hopper", "100:-50:9-3"} << false;
    QTest::newRow("unknown fault") << QStringList{"--fault", "smoke"} << false;
    QTest::newRow("probability above 1") << QStringList{"--fault-prob", "pause:2"} << false;
    QTest::newRow("help with value") << QStringList{"--help=yes"} << false;
    QTest::newRow("plain argument") << QStringList{"radio"} << false;
    QTest::newRow("version text without V") << QStringList{"--version-text", "1.0"} << false;
}

void SimRadioTest::options() {
    QFETCH(QStringList, args);
    QFETCH(bool, valid);
    std::vector<std::string> list;
    for (const QString& arg : args) list.push_back(arg.toStdString());
    const OptionsResult result = parseOptions(list);
    QCOMPARE(result.options.has_value(), valid);
    QCOMPARE(result.error.empty(), valid);
    if (valid && args.contains("--hopper")) {
        QVERIFY(result.options->scene.hopper);
        QCOMPARE(result.options->scene.hopper->period, 250ms);
    }
    if (args.size() > 10) {
        const SimOptions& o = *result.options;
        QCOMPARE(o.scene.carriers.size(), 2u);
        QCOMPARE(o.scene.carriers[0].widthChannels, 3.0);
        QCOMPARE(o.scene.carriers[1].widthChannels, 1.0);
        QCOMPARE(o.scene.hopper->lastChannel, 99);
        QCOMPARE(o.radio.seed, 7u);
        QCOMPARE(o.radio.faults.scheduled.size(), 2u);
        QCOMPARE(o.radio.faults.scheduled[1].count, 0u);
        QCOMPARE(o.radio.faults.probability[static_cast<std::size_t>(FaultKind::Pause)], 0.01);
        QCOMPARE(o.radio.faults.probability[static_cast<std::size_t>(FaultKind::Dead)], 0.0);
        QCOMPARE(o.radio.version, std::string("V2.1\r"));
        QCOMPARE(o.logPath, std::string("/tmp/l"));
    }
}

QTEST_GUILESS_MAIN(SimRadioTest)
#include "test_sim_radio.moc"
