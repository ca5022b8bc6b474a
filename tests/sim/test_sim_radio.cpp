// SPDX-License-Identifier: GPL-3.0-or-later
// The emulated radio byte for byte: the dialogue, whole and byte by byte (its faults are seen
// end to end); a replayed scene; and its level scale as the analyzer reads it back.
#include <QtTest>
#include <climits>

#include "level_conversion.h"
#include "sim_levels.h"
#include "sim_radio.h"
#include "sim_replay.h"

using namespace kv::sim;
using namespace std::chrono_literals;

namespace {

const std::string kEnter = "AT+++\r", kConfirm = "\xCC\x65", kLevel = "\x21\x02";
const std::string kCom = "\xCC\x43OM";
const std::string kFloor("\x21\x02\x66\x01", 4);    // -95 dB: converter 358
const std::string kCarrier("\x21\x02\x33\x00", 4);  // -50 dB: converter 51
std::string channel(int ch) {
    return {'\xB1', static_cast<char>(ch), '\0'};
}

QByteArray hex(std::string_view bytes) {
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())).toHex(' ');
}

}  // namespace

class SimRadioTest : public QObject {
    Q_OBJECT
  private slots:
    void dialogue_data() {
        QTest::addColumn<bool>("commandMode");
        QTest::addColumn<std::string>("input");
        QTest::addColumn<std::string>("reply");
        QTest::addColumn<RadioMode>("modeAfter");
        const auto row = [](const char* name, bool command, const std::string& in,
                            const std::string& out, RadioMode mode) {
            QTest::newRow(name) << command << in << out << mode;
        };
        using M = RadioMode;
        row("attention", false, kEnter, kCom, M::Escape);
        row("a byte between", false, kEnter + "X" + kConfirm, kCom, M::Data);
        row("data first", false, "AAT++" + std::string("\xB1\0\0", 3) + kEnter, kCom, M::Escape);
        row("commands in data mode", false, channel(5) + kLevel + "V", "", M::Data);
        row("channel and level", true, channel(5) + kLevel, channel(5) + kCarrier, M::Command);
        row("exit", true, "\xCC\x41TO\r", "\xCC\x44\x41T", M::Data);
        row("attention in command mode", true, kEnter + channel(7), channel(7), M::Command);
        row("stray bytes", true, std::string("\0\x13\xFF", 3) + channel(9), channel(9), M::Command);
        row("channel with a bad last byte", true, "\xB1\x05\x07" + kLevel, kFloor, M::Command);
    }
    // The bytes arrive at once, and again one at a time.
    void dialogue() {
        QFETCH(bool, commandMode);
        QFETCH(std::string, input);
        QFETCH(std::string, reply);
        QFETCH(RadioMode, modeAfter);
        // The floor exactly at -95 dB, one carrier of -50 dB on channel 5.
        SceneConfig scene;
        scene.noiseSpreadDb = 0;
        scene.carriers.push_back({5, -50.0, 1.0});
        RadioEmulator whole({}, scene), pieces({}, scene);
        const auto answer = [](RadioEmulator& radio, std::string_view bytes) {
            std::string all;
            for (const Reply& r : radio.receive(bytes, 0ns)) all += r.bytes;
            return all;
        };
        for (RadioEmulator* radio : {&whole, &pieces})
            if (commandMode) answer(*radio, kEnter + kConfirm);
        QCOMPARE(hex(answer(whole, input)), hex(reply));
        QCOMPARE(whole.mode(), modeAfter);
        std::string got;
        for (char c : input) got += answer(pieces, std::string(1, c));
        QCOMPARE(hex(got), hex(reply));
    }

    // A replayed log: one sweep per time (a repeated channel starts none; here two rows of one
    // time, the band going on upwards, make one), looping; levels rounded half to even and
    // clamped; "nan" takes its left neighbour; a sweep of another
    // channel count takes the bins nearest to its channels' frequencies (1100 and 1300 Hz).
    void replay() {
        SceneConfig config;
        config.replay = parseReplay(
                            "2026-12-07, 03:00:00, 1000, 1300, 100, 3, -99.5, nan, -41.2\n"
                            "2026-12-07, 03:00:00, 1300, 1500, 100, 3, -61.5, -51\n")
                            .rows;
        Scene scene(config);
        const auto sweep = [&](int channels) {
            std::vector<int> levels;
            for (int ch = 0; ch < channels; ++ch) {
                scene.tuned(ch);
                scene.tuned(ch);
                levels.push_back(scene.measure(ch, 0ns));
            }
            return levels;
        };
        QCOMPARE(sweep(5), (std::vector<int>{-97, -97, -42, -62, -51}));
        sweep(2);  // a new channel count shows from the next sweep on
        QCOMPARE(sweep(2), (std::vector<int>{-97, -62}));
        // A count at the top of int still spreads its channels over the band.
        QCOMPARE(replayLevel(config.replay[0], INT_MAX - 1, INT_MAX), -51.0);
        // A step that is not above nothing gives no sweep.
        for (const std::string step : {"-100", "0"})
            QVERIFY(parseReplay("2026-12-07, 03:00:00, 1000, 1300, " + step + ", 3, -50\n")
                        .error.ends_with("Hz step is no positive number"));
    }

    // Every level the radio can report reads back as itself through the analyzer's conversion.
    void levelsReadBack() {
        for (int level = kMinLevelDb; level <= kMaxLevelDb; ++level)
            QCOMPARE(kv::levelFromReading(levelToRaw(level)), double(level));
        QCOMPARE(levelToRaw(-120.0), levelToRaw(kMinLevelDb));
        QCOMPARE(levelToRaw(-10.0), std::uint16_t{0});
    }
};

QTEST_GUILESS_MAIN(SimRadioTest)
#include "test_sim_radio.moc"
