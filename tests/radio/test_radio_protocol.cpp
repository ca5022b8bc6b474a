// The command-mode dialogues, the reply conditions, the time-out and the stop handling.
#include <QTest>

#include "radio_rig.h"

using namespace kv;
using namespace kv::test;

namespace {

const std::string kEnter = "AT+++\r";
const std::string kConfirm = "\xCC\x65";
const std::string kExit = "V";
const std::string kResume = std::string("\xCC") + "ATO\r";
const std::string kLevel = "\x21\x02";

using Strings = std::vector<std::string>;

// Runs one of the procedures by name; the measurement is of point 7.
bool perform(RadioRig& rig, const QString& procedure) {
    if (procedure == "enter") return rig.radio.enterCommandMode();
    if (procedure == "exit") return rig.radio.exitCommandMode();
    return rig.radio.measurePoint(7);
}

bool showsFailureMessage(const RecordingSurface& surface) {
    for (const auto& text : surface.printedTexts())
        if (text.starts_with("Communication failure.")) return true;
    return false;
}

}  // namespace

class RadioProtocolTest : public QObject {
    Q_OBJECT
  private slots:
    void commandModeDialogues();
    void replyConditions_data();
    void replyConditions();
    void measurementReplies_data();
    void measurementReplies();
    void deadRadioWaitsEndAfterTwoSeconds_data();
    void deadRadioWaitsEndAfterTwoSeconds();
    void replyAtTheTimeOut_data();
    void replyAtTheTimeOut();
    void stopDuringWait_data();
    void stopDuringWait();
    void exitWithStopAlreadyRequested_data();
    void exitWithStopAlreadyRequested();
    void repliesArriveThroughTheEventLoop();
};

void RadioProtocolTest::commandModeDialogues() {
    RadioRig rig;
    QVERIFY(rig.radio.enterCommandMode());
    QCOMPARE(rig.comm.outputs, (Strings{kEnter, kConfirm}));
    QVERIFY(rig.fake.commandMode);
    QVERIFY(!rig.timer1.enabled());

    rig.comm.outputs.clear();
    QVERIFY(rig.radio.exitCommandMode());
    QCOMPARE(rig.comm.outputs, (Strings{kExit, kResume}));
    QCOMPARE(rig.comm.handshakingWrites, std::vector<int>{0});
    QVERIFY(!rig.fake.commandMode);
    QVERIFY(!rig.timer1.enabled());
}

// Each row answers the procedure's two steps with the given replies, all bytes at once.
void RadioProtocolTest::replyConditions_data() {
    QTest::addColumn<QString>("procedure");
    QTest::addColumn<QByteArray>("firstReply");
    QTest::addColumn<QByteArray>("secondReply");
    QTest::addColumn<int>("commandsSent");
    QTest::addColumn<bool>("confirmed");

    const QByteArray com(
        "\xCC"
        "COM");
    const QByteArray dat(
        "\xCC"
        "DAT");
    QTest::newRow("enter: exact replies") << "enter" << com << QByteArray("e") << 2 << true;
    QTest::newRow("enter: noise before CC COM")
        << "enter" << ("OK\r\n" + com) << QByteArray("e") << 2 << true;
    QTest::newRow("enter: bytes after CC COM")
        << "enter" << (com + "\r") << QByteArray("e") << 1 << false;
    QTest::newRow("enter: 65 and one more byte")
        << "enter" << com << QByteArray("e\r") << 2 << false;
    QTest::newRow("enter: a byte before 65") << "enter" << com << QByteArray("\re") << 2 << false;
    QTest::newRow("exit: exact replies") << "exit" << QByteArray("V") << dat << 2 << true;
    QTest::newRow("exit: 56 with anything after")
        << "exit" << QByteArray("V1.07\r") << dat << 2 << true;
    QTest::newRow("exit: CC DAT with more after")
        << "exit" << QByteArray("V") << (dat + "A\r") << 2 << true;
    QTest::newRow("exit: noise before 56") << "exit" << QByteArray("\rV") << dat << 1 << false;
    QTest::newRow("exit: noise before CC DAT")
        << "exit" << QByteArray("V") << ("\r" + dat) << 2 << false;
}

void RadioProtocolTest::replyConditions() {
    QFETCH(QString, procedure);
    QFETCH(QByteArray, firstReply);
    QFETCH(QByteArray, secondReply);
    QFETCH(int, commandsSent);
    QFETCH(bool, confirmed);

    RadioRig rig;
    const std::vector<std::string> replies{bytes(firstReply), bytes(secondReply)};
    rig.answerWith([&rig, replies](std::string_view) {
        const auto n = rig.comm.outputs.size();  // this command is already recorded
        return n <= replies.size() ? replies[n - 1] : std::string{};
    });
    QCOMPARE(perform(rig, procedure), confirmed);
    QCOMPARE(static_cast<int>(rig.comm.outputs.size()), commandsSent);
    // Exit switches flow control off whatever the outcome.
    if (procedure == "exit") QCOMPARE(rig.comm.handshakingWrites, std::vector<int>{0});
}

// The echo and level replies of a measurement of point 7; the pieces of a reply arrive 1 ms
// apart.
void RadioProtocolTest::measurementReplies_data() {
    QTest::addColumn<QByteArrayList>("echo");
    QTest::addColumn<QByteArrayList>("level");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<double>("storedLevel");

    const QByteArray echo("\xB1\x07\x00", 3);
    const QByteArray raw300("\x21\x02\x2C\x01", 4);  // bytes 3 and 4: 0x012C = 300
    QTest::newRow("exact echo, 4-byte level")
        << QByteArrayList{echo} << QByteArrayList{raw300} << true << -86.0;
    QTest::newRow("echo in pieces")
        << QByteArrayList{echo.left(1), echo.mid(1)} << QByteArrayList{raw300} << true << -86.0;
    QTest::newRow("level in pieces")
        << QByteArrayList{echo} << QByteArrayList{raw300.left(3), raw300.mid(3)} << true << -86.0;
    QTest::newRow("5-byte level reply")
        << QByteArrayList{echo} << QByteArrayList{QByteArray("\xFF\xFF\x2C\x01\x7F", 5)} << true
        << -86.0;
    QTest::newRow("echo with an extra byte")
        << QByteArrayList{echo + '\r'} << QByteArrayList{raw300} << false << 0.0;
    QTest::newRow("echo of another channel")
        << QByteArrayList{QByteArray("\xB1\x08\x00", 3)} << QByteArrayList{raw300} << false << 0.0;
    QTest::newRow("3-byte level reply")
        << QByteArrayList{echo} << QByteArrayList{raw300.left(3)} << false << 0.0;
}

void RadioProtocolTest::measurementReplies() {
    QFETCH(QByteArrayList, echo);
    QFETCH(QByteArrayList, level);
    QFETCH(bool, accepted);
    QFETCH(double, storedLevel);

    RadioRig rig;
    rig.fake.commandMode = true;
    int measurementCommands = 0;
    rig.answerWith([&](std::string_view sent) {
        // The first two commands get the scripted replies, the recovery the fake radio's.
        if (measurementCommands == 2 || (sent != kLevel && sent.size() != 3))
            return rig.fake.answer(sent);
        const QByteArrayList& pieces = measurementCommands++ == 0 ? echo : level;
        for (int i = 1; i < pieces.size(); ++i)
            rig.comm.deliver(bytes(pieces[i]), rig.loop.now + i);
        return bytes(pieces[0]);
    });
    QCOMPARE(rig.radio.measurePoint(7), accepted);
    QCOMPARE(rig.state.trace[7].amplitudeDb, storedLevel);
    QCOMPARE(rig.comm.clearOutBufferCount, accepted ? 0 : 1);
    QCOMPARE(showsFailureMessage(rig.surface), !accepted);
    // A failure returns only with the radio back in command mode and the message erased.
    QVERIFY(rig.fake.commandMode);
    QVERIFY(rig.state.texts.commMessage.empty());
}

// The radio ignores one command; the wait for its reply ends 2000 ms of fake time after it.
void RadioProtocolTest::deadRadioWaitsEndAfterTwoSeconds_data() {
    QTest::addColumn<QString>("procedure");
    QTest::addColumn<QByteArray>("ignored");

    QTest::newRow("enter step 1") << "enter" << QByteArray(kEnter.c_str());
    QTest::newRow("enter step 2") << "enter" << QByteArray(kConfirm.c_str());
    QTest::newRow("exit step 1") << "exit" << QByteArray(kExit.c_str());
    QTest::newRow("exit step 2") << "exit" << QByteArray(kResume.c_str());
    QTest::newRow("channel") << "measure" << QByteArray("\xB1\x07\x00", 3);
    QTest::newRow("level") << "measure" << QByteArray(kLevel.c_str());
}

void RadioProtocolTest::deadRadioWaitsEndAfterTwoSeconds() {
    QFETCH(QString, procedure);
    QFETCH(QByteArray, ignored);

    RadioRig rig;
    rig.fake.commandMode = procedure != "enter";
    bool dropped = false;
    rig.answerWith([&](std::string_view sent) {
        if (!dropped && sent == bytes(ignored)) {
            dropped = true;
            return std::string{};
        }
        return rig.fake.answer(sent);
    });
    QVERIFY(!perform(rig, procedure));

    const auto at = std::find(rig.comm.outputs.begin(), rig.comm.outputs.end(), bytes(ignored));
    QVERIFY(at != rig.comm.outputs.end());
    const auto k = static_cast<std::size_t>(at - rig.comm.outputs.begin());
    const std::int64_t endOfWait = k + 1 < rig.sentAt.size() ? rig.sentAt[k + 1] : rig.loop.now;
    QCOMPARE(endOfWait - rig.sentAt[k], std::int64_t{2000});
    QVERIFY(!rig.timer1.enabled());
}

// A reply that completes in the yield in which the time-out expires counts as a time-out.
void RadioProtocolTest::replyAtTheTimeOut_data() {
    QTest::addColumn<int>("latency");
    QTest::addColumn<bool>("confirmed");
    QTest::newRow("just before") << 1999 << true;
    QTest::newRow("with the time-out") << 2000 << false;
}

void RadioProtocolTest::replyAtTheTimeOut() {
    QFETCH(int, latency);
    QFETCH(bool, confirmed);
    RadioRig rig;
    rig.comm.latencyMs = latency;
    QCOMPARE(rig.radio.enterCommandMode(), confirmed);
    QCOMPARE(static_cast<int>(rig.comm.outputs.size()), confirmed ? 2 : 1);
}

// The radio is silent; a stop is handled 700 ms into the first wait.
void RadioProtocolTest::stopDuringWait_data() {
    QTest::addColumn<QString>("procedure");
    QTest::addColumn<QByteArray>("onlyCommand");

    QTest::newRow("enter") << "enter" << QByteArray(kEnter.c_str());
    QTest::newRow("exit") << "exit" << QByteArray(kExit.c_str());
    QTest::newRow("measure") << "measure" << QByteArray("\xB1\x07\x00", 3);
}

void RadioProtocolTest::stopDuringWait() {
    QFETCH(QString, procedure);
    QFETCH(QByteArray, onlyCommand);

    RadioRig rig;
    rig.fake.silent = true;
    rig.state.trace[7] = TracePoint{0, 0, 0, 1234, 1234, -60};
    rig.loop.at(700, [&] { rig.state.flags.stopRequested = true; });

    QVERIFY(!perform(rig, procedure));
    QCOMPARE(rig.loop.now, std::int64_t{700});
    QCOMPARE(rig.comm.outputs, Strings{bytes(onlyCommand)});
    // Timer1 stays armed; its tick comes later and only sets the flag.
    QVERIFY(rig.timer1.enabled());
    QVERIFY(rig.comm.handshakingWrites.empty());
    QCOMPARE(rig.comm.clearOutBufferCount, 0);
    QVERIFY(rig.surface.calls.empty());
    QCOMPARE(rig.state.trace[7].yOut, 1234);
}

// The window's unload: the exit gives up after its first byte and one yield, which does not
// wait for the reply time-out.
void RadioProtocolTest::exitWithStopAlreadyRequested_data() {
    QTest::addColumn<bool>("radioAnswers");
    QTest::newRow("answering radio") << true;  // the answer arrives in that yield
    QTest::newRow("silent radio") << false;
}

void RadioProtocolTest::exitWithStopAlreadyRequested() {
    QFETCH(bool, radioAnswers);
    RadioRig rig;
    rig.fake.commandMode = true;
    rig.fake.silent = !radioAnswers;
    rig.state.flags.stopRequested = true;

    QVERIFY(!rig.radio.exitCommandMode());
    QCOMPARE(rig.comm.outputs, Strings{kExit});
    QCOMPARE(rig.loop.yieldCount, 1);
    QCOMPARE(rig.loop.now, std::int64_t{rig.loop.stepMs});
    QVERIFY(rig.comm.handshakingWrites.empty());
    QVERIFY(rig.fake.commandMode);
}

// Replies 30 ms late: the command-mode waits see them through the receive event, the
// measurement waits through their own reads; every yield of a wait may sleep.
void RadioProtocolTest::repliesArriveThroughTheEventLoop() {
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

QTEST_GUILESS_MAIN(RadioProtocolTest)
#include "test_radio_protocol.moc"
