// SPDX-License-Identifier: GPL-3.0-or-later
// The radio link on fake time: what goes on the wire for each kind of reply, time-out, stop
// and recovery; the level conversion and max hold.
#include <QTest>

#include "level_conversion.h"
#include "radio_rig.h"

using namespace kv;
using namespace kv::test;

namespace {

using Strings = std::vector<std::string>;

// The letter a case names a command with.
char letter(const std::string& c) {
    return c == "AT+++\r"           ? 'A'
           : c == "\xCC\x65"        ? 'e'
           : c == "V"               ? 'V'
           : c == "\x21\x02"        ? 'L'
           : c == channelCommand(7) ? '7'
                                    : 'O';
}

// Replies to the commands in order: "~" is silence, '|' splits a reply into pieces 1 ms apart;
// past the script the fake radio answers. `stopAt`: fake time of a stop, -1 already stopped.
struct Case {
    const char* procedure;
    Strings script;
    int latency;
    int stopAt;
    bool ok;
    const char* wire;
    const char* messages;  // the failure message shown (+) and erased (-)
    double level;          // stored for point 7 (0: left alone)
    int endMs;             // -1: not checked
};

}  // namespace

Q_DECLARE_METATYPE(Case)

class RadioTest : public QObject {
    Q_OBJECT
  private slots:
    void procedures_data() {
        QTest::addColumn<Case>("c");
        const std::string com = "\xCC\x43OM", dat = "\xCC\x44\x41T";
        const std::string echo("\xB1\x07\x00", 3), echo8("\xB1\x08\x00", 3);
        const std::string raw300("\x21\x02\x2C\x01", 4);  // bytes 3 and 4: 0x012C = 300
        const auto row = [](const char* name, Case c) { QTest::newRow(name) << c; };
        row("enter", {"enter", {com, "e"}, 0, 0, true, "Ae", "", 0, 0});
        row("enter: noise before CC COM", {"enter", {"OK" + com, "e"}, 0, 0, true, "Ae", "", 0, 0});
        row("enter: bytes after CC COM", {"enter", {com + "\r"}, 0, 0, false, "A", "", 0, 2000});
        row("enter: 65 and one more", {"enter", {com, "e\r"}, 0, 0, false, "Ae", "", 0, 2000});
        row("enter: confirm ignored", {"enter", {com, "~"}, 0, 0, false, "Ae", "", 0, 2000});
        row("enter: reply with the time-out", {"enter", {}, 2000, 0, false, "A", "", 0, 2000});
        row("enter: reply just before", {"enter", {}, 1999, 0, true, "Ae", "", 0, 3998});
        row("enter: replies 30 ms late", {"enter", {}, 30, 0, true, "Ae", "", 0, 60});
        row("enter: stop in the wait", {"enter", {"~"}, 0, 700, false, "A", "", 0, 700});
        // Exit: 56, then CC 41 54 4F 0D; flow control goes off whatever the outcome.
        row("exit", {"exit", {"V", dat}, 0, 0, true, "VO", "", 0, 0});
        row("exit: 56 and more", {"exit", {"V1.07\r", dat}, 0, 0, true, "VO", "", 0, 0});
        row("exit: resume ignored", {"exit", {"V", "~"}, 0, 0, false, "VO", "", 0, 2000});
        row("exit: noise before 56", {"exit", {"\rV"}, 0, 0, false, "V", "", 0, 2000});
        row("exit: stop in the wait", {"exit", {"~"}, 0, 700, false, "V", "", 0, 700});
        // The window's unload: the exit gives up after its first byte and one plain yield.
        row("exit: already stopped", {"exit", {}, 0, -1, false, "V", "", 0, 1});
        row("measure", {"measure", {echo, raw300}, 0, 0, true, "7L", "", -86, 0});
        row("measure: echo in pieces",
            {"measure", {"\xB1|" + echo.substr(1), raw300}, 0, 0, true, "7L", "", -86, 1});
        row("measure: level in pieces",
            {"measure", {echo, "\x21\x02\x2C|\x01"}, 0, 0, true, "7L", "", -86, 1});
        row("measure: replies 30 ms late", {"measure", {}, 30, 0, true, "7L", "", -57, 60});
        // A failed measurement returns with the radio back in command mode, message erased.
        row("measure: echo with an extra byte",
            {"measure", {echo + "\r", raw300}, 0, 0, false, "7AVOAe", "+-", 0, -1});
        row("measure: echo of another channel",
            {"measure", {echo8, raw300}, 0, 0, false, "7AVOAe", "+-", 0, -1});
        row("measure: 3-byte level",
            {"measure", {echo, "\x21\x02\x2C"}, 0, 0, false, "7LAVOAe", "+-", 0, -1});
        row("measure: a flood",
            {"measure", {std::string(40000, 'x')}, 0, 0, false, "7AVOAe", "+-", 0, -1});
        row("measure: echo ignored", {"measure", {"~"}, 0, 0, false, "7AVOAe", "+-", 0, -1});
        row("measure: level ignored",
            {"measure", {echo, "~"}, 0, 0, false, "7LAVOAe", "+-", 0, -1});
        row("measure: stop in the wait", {"measure", {"~"}, 0, 700, false, "7", "", 0, 700});
        // Recovery: enter lost, exit answered, enter answered; or exit lost once more, the
        // message shown again, enter ignored in command mode, exit, enter.
        row("recovery, exit answered", {"measure", {"~", "~"}, 0, 0, false, "7AVOAe", "+-", 0, -1});
        row("recovery, exit lost",
            {"measure", {"~", "~", "~"}, 0, 0, false, "7AVAVOAe", "+-+-", 0, -1});
    }
    void procedures() {
        QFETCH(Case, c);
        RadioRig rig;
        rig.comm.latencyMs = c.latency;
        rig.fake.commandMode = std::string_view(c.procedure) != "enter";
        rig.state.settings.port = 2;
        rig.state.settings.baud = "19200";
        rig.state.trace[7] = TracePoint{0, 0, 0, 1234, 1234, 0};
        std::size_t largestBuffer = 0;
        rig.loop.onYield = [&] {
            largestBuffer = std::max(largestBuffer, rig.radio.receiveBuffer().size());
        };
        rig.answerWith([&](std::string_view sent) {
            const std::size_t n = rig.comm.outputs.size() - 1;  // this command is recorded
            if (n >= c.script.size()) return rig.fake.answer(sent);
            rig.fake.answer(sent);  // keeps the fake radio's mode
            if (c.script[n] == "~") return std::string{};
            const QList<QByteArray> pieces = QByteArray::fromStdString(c.script[n]).split('|');
            for (int i = 1; i < pieces.size(); ++i)
                rig.comm.deliver(pieces[i].toStdString(), rig.loop.now + i);
            return pieces[0].toStdString();
        });
        if (c.stopAt > 0) rig.loop.at(c.stopAt, [&] { rig.state.flags.stopRequested = true; });
        rig.state.flags.stopRequested = c.stopAt < 0;

        const std::string_view procedure = c.procedure;
        const bool ok = procedure == "enter"  ? rig.radio.enterCommandMode()
                        : procedure == "exit" ? rig.radio.exitCommandMode()
                                              : rig.measure(7);
        QCOMPARE(ok, c.ok);
        QString wire;
        for (const auto& o : rig.comm.outputs) wire += letter(o);
        QCOMPARE(wire, QString(c.wire));
        if (c.endMs >= 0) QCOMPARE(rig.loop.now, std::int64_t{c.endMs});
        if (c.latency) QCOMPARE(rig.loop.waitingYieldCount, rig.loop.yieldCount);  // no spinning
        // Unless a stop cut it short, an unanswered command is waited for 2000 ms exactly.
        for (std::size_t k = 0; k < c.script.size() && !c.stopAt; ++k)
            if (c.script[k] == "~" && k < rig.sentAt.size())
                QCOMPARE(
                    (k + 1 < rig.sentAt.size() ? rig.sentAt[k + 1] : rig.loop.now) - rig.sentAt[k],
                    std::int64_t{2000});
        // Timer1 stays armed after a stop; its tick comes later and only sets the flag.
        QCOMPARE(rig.timer1.enabled(), c.stopAt != 0);
        // Every exit that is not stopped switches flow control off, whatever its outcome.
        QCOMPARE(rig.comm.handshakingWrites.size(), c.stopAt ? 0 : std::size_t(wire.count('V')));
        QCOMPARE(rig.comm.clearOutBufferCount, int(!std::string_view(c.messages).empty()));
        QCOMPARE(rig.state.trace[7].amplitudeDb, c.level);
        if (c.level == 0) QCOMPARE(rig.state.trace[7].yOut, 1234);
        QVERIFY(largestBuffer <= 4096);  // a flooding radio does not grow it without bound
        QString shown;
        for (const auto& p : rig.surface.callsOf(RecordingSurface::Op::Print)) {
            if (p.text.empty()) continue;  // an erase of nothing
            QCOMPARE(p.text,
                     "Communication failure.  Hardware is COM3 and baud rate is 19200.  "
                     "RTS mode should be disabled in the radio.");
            QCOMPARE(std::tuple(p.x1, p.y1), std::tuple(550.0, 1150.0));
            const auto& s = rig.state.settings;
            shown += p.colour == s.messageColor ? '+' : p.colour == s.backgroundColor ? '-' : '?';
        }
        QCOMPARE(shown, QString(c.messages));
        QVERIFY(rig.state.texts.commMessage.empty());
        if (procedure == "measure") QVERIFY(rig.fake.commandMode);
    }

    // Converter reading to whole dB, ties to even; the trace holds it one dB short of the
    // graph's top at most.
    void conversion() {
        const std::tuple<std::uint16_t, double> readings[] = {
            {0, -42}, {1, -43}, {300, -86}, {371, -97}, {372, -97}, {65535, -97}, {17, -45}};
        for (const auto& [raw, level] : readings) QCOMPARE(levelFromReading(raw), level);
        const std::tuple<double, float, double> shown[] = {
            {-45, -50, -52}, {-42, -41, -43}, {-42, -42.5, -44}, {-81.5, -80, -81.5}};
        SettingValues s;
        for (const auto& [level, amplitude, onGraph] : shown) {
            s.amplitude = amplitude;
            QCOMPARE(levelOnGraph(s, level), onGraph);
        }
    }

    // -57 dB is raw 100, -86 dB raw 300; an old level of 0 is a point cleared at the run's
    // start. The previous position is copied whether or not the reading was taken.
    void maxHold() {
        for (const auto& [hold, oldLevel, raw, stored] : {std::tuple{false, -57.0, 300, -86.0},
                                                          {true, -86.0, 100, -57.0},
                                                          {true, -57.0, 300, -57.0},
                                                          {true, -57.0, 100, -57.0},
                                                          {true, 0.0, 300, -86.0}}) {
            RadioRig rig;
            rig.fake.commandMode = true;
            rig.fake.reading = [raw = raw](int) { return static_cast<std::uint16_t>(raw); };
            rig.state.flags.maxHold = hold;
            const auto y = [&](double level) { return levelToY(rig.state.settings, level, 8730); };
            const std::int32_t oldY = y(oldLevel ? oldLevel : -60);
            const std::int32_t oldYOut = oldLevel ? oldY : 0;
            rig.state.trace[2] = TracePoint{0, 0, 0, oldYOut, oldY, oldLevel ? oldLevel : -60};
            QVERIFY(rig.measure(2));
            const TracePoint& p = rig.state.trace[2];
            QCOMPARE(std::tuple(p.amplitudeDb, p.yOut, p.yIn),
                     std::tuple(stored, y(stored), y(stored)));
            const TracePoint& before = rig.state.previousTrace[2];
            QCOMPARE(std::tuple(before.yOut, before.yIn), std::tuple(oldYOut, oldY));
        }
    }
};

QTEST_GUILESS_MAIN(RadioTest)
#include "test_radio.moc"
