// The radio link on fake time: the command-mode dialogues and the measurement on the wire, the
// reply time-out, stop handling, the level conversion, max hold, and the recovery sequence.
#include <QTest>
#include <map>

#include "level_conversion.h"
#include "radio_rig.h"

using namespace kv;
using namespace kv::test;

namespace {

const std::string kEnter = "AT+++\r";
const std::string kConfirm = "\xCC\x65";
const std::string kResume =
    "\xCC"
    "ATO\r";
const std::string kLevel = "\x21\x02";
const QByteArray kEcho7("\xB1\x07\x00", 3);
using Strings = std::vector<std::string>;

// Runs one of the procedures by name; the measurement is of point 7.
bool perform(RadioRig& rig, const QString& procedure) {
    if (procedure == "enter") return rig.radio.enterCommandMode();
    if (procedure == "exit") return rig.radio.exitCommandMode();
    return rig.radio.measurePoint(7);
}

}  // namespace

class RadioTest : public QObject {
    Q_OBJECT
  private slots:
    // The procedure's two commands get the given replies, all bytes at once.
    void dialogues_data() {
        QTest::addColumn<QString>("procedure");
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<QByteArray>("second");
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<bool>("confirmed");
        const QByteArray com(
            "\xCC"
            "COM");
        const QByteArray dat(
            "\xCC"
            "DAT");
        const QByteArray enter = QByteArray("AT+++\r") + "\xCC\x65";
        const QByteArray exit = QByteArray("V") + kResume.c_str();  // 56, then CC 41 54 4F 0D
        QTest::newRow("enter") << "enter" << com << QByteArray("e") << enter << true;
        QTest::newRow("enter: noise before CC COM")
            << "enter"
            << "OK\r\n" + com << QByteArray("e") << enter << true;
        QTest::newRow("enter: bytes after CC COM")
            << "enter" << com + "\r" << QByteArray("e") << QByteArray("AT+++\r") << false;
        QTest::newRow("enter: 65 and one more")
            << "enter" << com << QByteArray("e\r") << enter << false;
        QTest::newRow("enter: a byte before 65")
            << "enter" << com << QByteArray("\re") << enter << false;
        QTest::newRow("exit") << "exit" << QByteArray("V") << dat << exit << true;
        QTest::newRow("exit: 56 and more")
            << "exit" << QByteArray("V1.07\r") << dat << exit << true;
        QTest::newRow("exit: CC DAT and more")
            << "exit" << QByteArray("V") << dat + "A\r" << exit << true;
        QTest::newRow("exit: noise before 56")
            << "exit" << QByteArray("\rV") << dat << QByteArray("V") << false;
        QTest::newRow("exit: noise before CC DAT")
            << "exit" << QByteArray("V") << "\r" + dat << exit << false;
    }
    void dialogues() {
        QFETCH(QString, procedure);
        QFETCH(QByteArray, first);
        QFETCH(QByteArray, second);
        QFETCH(QByteArray, wire);
        QFETCH(bool, confirmed);
        RadioRig rig;
        rig.answerWith([&rig, replies = Strings{bytes(first), bytes(second)}](std::string_view) {
            const auto n = rig.comm.outputs.size();  // this command is already recorded
            return n <= replies.size() ? replies[n - 1] : std::string{};
        });
        QCOMPARE(perform(rig, procedure), confirmed);
        QCOMPARE(rig.comm.wire, bytes(wire));
        QVERIFY(!rig.timer1.enabled());
        // Exit switches flow control off whatever the outcome.
        if (procedure == "exit") QCOMPARE(rig.comm.handshakingWrites, std::vector<int>{0});
    }

    // The echo and level replies of a measurement of point 7; pieces arrive 1 ms apart.
    void measurementReplies_data() {
        QTest::addColumn<QByteArrayList>("echo");
        QTest::addColumn<QByteArrayList>("level");
        QTest::addColumn<bool>("accepted");
        const QByteArray raw300("\x21\x02\x2C\x01", 4);  // bytes 3 and 4: 0x012C = 300
        const auto row = [](const char* name, QByteArrayList echo, QByteArrayList level, bool ok) {
            QTest::newRow(name) << echo << level << ok;
        };
        row("exact", {kEcho7}, {raw300}, true);
        row("echo in pieces", {kEcho7.left(1), kEcho7.mid(1)}, {raw300}, true);
        row("level in pieces", {kEcho7}, {raw300.left(3), raw300.mid(3)}, true);
        row("5-byte level reply", {kEcho7}, {QByteArray("\xFF\xFF\x2C\x01\x7F", 5)}, true);
        row("echo with an extra byte", {kEcho7 + '\r'}, {raw300}, false);
        row("echo of another channel", {QByteArray("\xB1\x08\x00", 3)}, {raw300}, false);
        row("3-byte level reply", {kEcho7}, {raw300.left(3)}, false);
    }
    void measurementReplies() {
        QFETCH(QByteArrayList, echo);
        QFETCH(QByteArrayList, level);
        QFETCH(bool, accepted);
        RadioRig rig;
        rig.fake.commandMode = true;
        int scripted = 0;
        rig.answerWith([&](std::string_view sent) {
            // The first two commands get the scripted replies, the recovery the fake radio's.
            if (scripted == 2 || (sent != kLevel && sent.size() != 3)) return rig.fake.answer(sent);
            const QByteArrayList& pieces = scripted++ == 0 ? echo : level;
            for (int i = 1; i < pieces.size(); ++i)
                rig.comm.deliver(bytes(pieces[i]), rig.loop.now + i);
            return bytes(pieces[0]);
        });
        QCOMPARE(rig.radio.measurePoint(7), accepted);
        QCOMPARE(rig.state.trace[7].amplitudeDb, accepted ? -86.0 : 0.0);
        QCOMPARE(rig.comm.clearOutBufferCount, accepted ? 0 : 1);
        QCOMPARE(rig.commFailureShown(), !accepted);
        // A failure returns only with the radio back in command mode and the message erased.
        QVERIFY(rig.fake.commandMode);
        QVERIFY(rig.state.texts.commMessage.empty());
    }

    // The radio ignores one command; the wait for its reply ends 2000 ms of fake time after it.
    // A reply in the yield in which the time-out expires counts as a time-out.
    void timeOut_data() {
        QTest::addColumn<QString>("procedure");
        QTest::addColumn<QByteArray>("ignored");
        QTest::addColumn<int>("latency");
        QTest::newRow("enter step 1") << "enter" << QByteArray(kEnter.c_str()) << 0;
        QTest::newRow("enter step 2") << "enter" << QByteArray(kConfirm.c_str()) << 0;
        QTest::newRow("exit step 1") << "exit" << QByteArray("V") << 0;
        QTest::newRow("exit step 2") << "exit" << QByteArray(kResume.c_str()) << 0;
        QTest::newRow("channel") << "measure" << kEcho7 << 0;
        QTest::newRow("level") << "measure" << QByteArray(kLevel.c_str()) << 0;
        QTest::newRow("reply with the time-out") << "enter" << QByteArray() << 2000;
        QTest::newRow("reply just before") << "enter" << QByteArray() << 1999;
    }
    void timeOut() {
        QFETCH(QString, procedure);
        QFETCH(QByteArray, ignored);
        QFETCH(int, latency);
        RadioRig rig;
        rig.comm.latencyMs = latency;
        rig.fake.commandMode = procedure != "enter";
        bool dropped = ignored.isEmpty();
        rig.answerWith([&](std::string_view sent) {
            if (!dropped && sent == bytes(ignored)) return dropped = true, std::string{};
            return rig.fake.answer(sent);
        });
        QCOMPARE(perform(rig, procedure), latency == 1999);
        QVERIFY(!rig.timer1.enabled());
        if (latency) {
            QCOMPARE(rig.comm.outputs.size(), latency == 1999 ? 2u : 1u);
            return;
        }
        const auto k = static_cast<std::size_t>(
            std::find(rig.comm.outputs.begin(), rig.comm.outputs.end(), bytes(ignored)) -
            rig.comm.outputs.begin());
        QVERIFY(k < rig.comm.outputs.size());
        const std::int64_t endOfWait = k + 1 < rig.sentAt.size() ? rig.sentAt[k + 1] : rig.loop.now;
        QCOMPARE(endOfWait - rig.sentAt[k], std::int64_t{2000});
    }

    // The radio is silent and a stop comes 700 ms into the first wait; or, as the window's
    // unload does, the stop is already requested and the exit gives up after one yield.
    void stop_data() {
        QTest::addColumn<QString>("procedure");
        QTest::addColumn<int>("stopAt");
        QTest::addColumn<bool>("silent");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("enter") << "enter" << 700 << true << QByteArray(kEnter.c_str());
        QTest::newRow("exit") << "exit" << 700 << true << QByteArray("V");
        QTest::newRow("measure") << "measure" << 700 << true << kEcho7;
        QTest::newRow("unload, answering radio") << "exit" << 0 << false << QByteArray("V");
        QTest::newRow("unload, silent radio") << "exit" << 0 << true << QByteArray("V");
    }
    void stop() {
        QFETCH(QString, procedure);
        QFETCH(int, stopAt);
        QFETCH(bool, silent);
        QFETCH(QByteArray, wire);
        RadioRig rig;
        rig.fake.commandMode = procedure != "enter";
        rig.fake.silent = silent;
        rig.state.trace[7] = TracePoint{0, 0, 0, 1234, 1234, -60};
        if (stopAt) rig.loop.at(stopAt, [&] { rig.state.flags.stopRequested = true; });
        rig.state.flags.stopRequested = !stopAt;
        QVERIFY(!perform(rig, procedure));
        QCOMPARE(rig.loop.now, std::int64_t{stopAt ? stopAt : rig.loop.stepMs});
        QCOMPARE(rig.comm.wire, bytes(wire));
        // Timer1 stays armed; its tick comes later and only sets the flag.
        if (stopAt) QVERIFY(rig.timer1.enabled());
        QVERIFY(rig.comm.handshakingWrites.empty());
        QCOMPARE(rig.comm.clearOutBufferCount, 0);
        QVERIFY(rig.surface.calls.empty());
        QCOMPARE(rig.state.trace[7].yOut, 1234);
        QCOMPARE(rig.fake.commandMode, procedure != "enter");
    }

    // Replies 30 ms late: the command-mode waits see them through the receive event, the
    // measurement waits through their own reads; every yield of a wait may sleep.
    void repliesArriveThroughTheEventLoop() {
        RadioRig rig;
        rig.comm.latencyMs = 30;
        rig.fake.reading = [](int) { return std::uint16_t{200}; };
        QVERIFY(rig.radio.enterCommandMode());
        QCOMPARE(rig.loop.now, std::int64_t{60});
        QVERIFY(rig.radio.measurePoint(3));
        QCOMPARE(rig.loop.now, std::int64_t{120});
        QCOMPARE(rig.state.trace[3].amplitudeDb, -72.0);
        QCOMPARE(rig.loop.waitingYieldCount, rig.loop.yieldCount);
        QCOMPARE(rig.loop.yieldCount, 4);
    }

    void conversion_data() {
        QTest::addColumn<int>("raw");
        QTest::addColumn<float>("amplitude");
        QTest::addColumn<double>("level");
        QTest::newRow("0") << 0 << -40.0f << -42.0;
        QTest::newRow("1") << 1 << -40.0f << -43.0;
        QTest::newRow("300") << 300 << -40.0f << -86.0;
        QTest::newRow("371") << 371 << -40.0f << -97.0;
        QTest::newRow("372, 1.2 V in single precision") << 372 << -40.0f << -97.0;
        QTest::newRow("65535") << 65535 << -40.0f << -97.0;
        QTest::newRow("-45 under amplitude -50") << 17 << -50.0f << -52.0;
        QTest::newRow("at the limit of amplitude -41") << 0 << -41.0f << -43.0;
        QTest::newRow("under amplitude -42.5, tie to even") << 0 << -42.5f << -44.0;
    }
    void conversion() {
        QFETCH(int, raw);
        QFETCH(float, amplitude);
        QFETCH(double, level);
        QCOMPARE(levelFromReading(static_cast<std::uint16_t>(raw), amplitude), level);
    }

    // -57 dB is raw 100, -86 dB raw 300; an old level of 0 is a point cleared at the run's start.
    void maxHold_data() {
        QTest::addColumn<bool>("maxHold");
        QTest::addColumn<double>("oldLevel");
        QTest::addColumn<int>("raw");
        QTest::addColumn<double>("storedLevel");
        QTest::newRow("off: a weaker level replaces") << false << -57.0 << 300 << -86.0;
        QTest::newRow("on: a stronger level replaces") << true << -86.0 << 100 << -57.0;
        QTest::newRow("on: a weaker level is not taken") << true << -57.0 << 300 << -57.0;
        QTest::newRow("on: an equal level is not taken") << true << -57.0 << 100 << -57.0;
        QTest::newRow("on: a cleared point takes its reading") << true << 0.0 << 300 << -86.0;
    }
    void maxHold() {
        QFETCH(bool, maxHold);
        QFETCH(double, oldLevel);
        QFETCH(int, raw);
        QFETCH(double, storedLevel);
        RadioRig rig;
        rig.fake.commandMode = true;
        rig.fake.reading = [raw](int) { return static_cast<std::uint16_t>(raw); };
        rig.state.flags.maxHold = maxHold;
        const auto yOf = [&](double level) {
            return levelToY(rig.state.settings, level, rig.surface.scaleHeight());
        };
        const std::int32_t oldYIn = yOf(oldLevel ? oldLevel : -60);
        const std::int32_t oldYOut = oldLevel ? oldYIn : 0;
        rig.state.trace[2] = TracePoint{0, 0, 0, oldYOut, oldYIn, oldLevel ? oldLevel : -60};
        QVERIFY(rig.radio.measurePoint(2));
        const TracePoint& p = rig.state.trace[2];
        QCOMPARE(p.amplitudeDb, storedLevel);
        QCOMPARE(p.yOut, yOf(storedLevel));
        QCOMPARE(p.yIn, yOf(storedLevel));
        // The previous position is copied whether or not the reading was taken.
        QCOMPARE(rig.state.previousTrace[2].yOut, oldYOut);
        QCOMPARE(rig.state.previousTrace[2].yIn, oldYIn);
    }

    // The radio (in command mode) ignores everything sent before `silentUntil`, then answers.
    // The message is shown (+) in the message colour and erased (-) in the background colour.
    void recovery_data() {
        QTest::addColumn<int>("silentUntil");
        QTest::addColumn<QString>("prints");
        QTest::addColumn<QStringList>("commands");
        // Echo lost (0-2000), enter lost (2000-4000), exit answered, enter answered.
        QTest::newRow("exit answered first")
            << 3000 << "+-"
            << QStringList{"channel", "enter", "exit", "resume", "enter", "confirm"};
        // Echo, enter and exit lost; shown again; enter ignored in command mode, exit, enter.
        QTest::newRow("exit lost once")
            << 5000 << "+-+-" << QStringList{"channel", "enter",  "exit",  "enter",
                                             "exit",    "resume", "enter", "confirm"};
    }
    void recovery() {
        QFETCH(int, silentUntil);
        QFETCH(QString, prints);
        QFETCH(QStringList, commands);
        RadioRig rig;
        rig.state.settings.port = 2;
        rig.state.settings.baud = "19200";
        rig.state.settings.backgroundColor = 0x102030;
        rig.state.settings.messageColor = 0x00FF00;
        rig.fake.commandMode = true;
        rig.answerWith([&](std::string_view sent) {
            return rig.loop.now < silentUntil ? std::string{} : rig.fake.answer(sent);
        });
        const TracePoint before{1, 2, 3, 1500, 1600, -55};
        rig.state.trace[0] = before;
        QVERIFY(!rig.radio.measurePoint(0));

        const std::string message =
            "Communication failure.  Hardware is COM3 and baud rate is "
            "19200.  RTS mode should be disabled in the radio.";
        QString shown;
        for (const auto& c : rig.surface.callsOf(RecordingSurface::Op::Print)) {
            if (c.text.empty()) continue;  // an erase of nothing
            QCOMPARE(c.text, message);
            QCOMPARE(std::tuple(c.x1, c.y1), std::tuple(550.0, 1150.0));
            shown += c.colour == 0x00FF00 ? '+' : c.colour == 0x102030 ? '-' : '?';
        }
        QCOMPARE(shown, prints);
        QVERIFY(rig.state.texts.shownCommMessage.empty());
        QVERIFY(rig.fake.commandMode);
        QCOMPARE(rig.comm.clearOutBufferCount, 1);
        QCOMPARE(rig.state.trace[0].yOut, before.yOut);
        QCOMPARE(rig.state.trace[0].amplitudeDb, before.amplitudeDb);
        const std::map<std::string, QString> names{{channelCommand(0), "channel"},
                                                   {kEnter, "enter"},
                                                   {kConfirm, "confirm"},
                                                   {"V", "exit"},
                                                   {kResume, "resume"}};
        QStringList sent;
        for (const auto& o : rig.comm.outputs) sent << names.at(o);
        QCOMPARE(sent, commands);
    }
};

QTEST_GUILESS_MAIN(RadioTest)
#include "test_radio.moc"
