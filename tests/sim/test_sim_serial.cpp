// The real kv3710-sim reached through the program's own serial layer: a full 256-channel sweep
// with and without pacing, live faults, and a device that vanishes and comes back.
#include <QFileInfo>
#include <QtTest>
#include <map>

#include "level_conversion.h"
#include "serial_comm.h"
#include "settings_backend.h"
#include "sim_process.h"

using namespace std::chrono_literals;
using kv::test::SimProcess;

namespace {

const std::string kLevel = "\x21\x02";
std::string channel(int ch) {
    return {'\xB1', static_cast<char>(ch), '\0'};
}

QByteArray hex(const std::string& bytes) {
    return QByteArray(bytes.data(), qsizetype(bytes.size())).toHex(' ');
}

// Sends the command and collects input until `expected` bytes arrived or about 2 s passed.
std::string exchange(kv::SerialComm& comm, const std::string& command, std::size_t expected) {
    comm.output(command);
    std::string received;
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (received.size() < expected && std::chrono::steady_clock::now() < deadline) {
        comm.waitForInput(50ms);
        received += comm.input();
    }
    return received;
}

// The program's serial control on the simulator's link, in command mode.
struct Link {
    explicit Link(SimProcess& sim) {
        store.write("Ports", "COM1", sim.linkPath().toStdString());
        QVERIFY(comm.setCommPort(1) && comm.setSettings("115200,n,8,1"));
        QVERIFY2(comm.setPortOpen(true), comm.lastError().c_str());
        enterCommandMode();
    }
    void enterCommandMode() {
        QCOMPARE(hex(exchange(comm, "AT+++\r", 4)), hex("\xCC"
                                                        "COM"));
        QCOMPARE(hex(exchange(comm, "\xCC\x65", 1)), hex("\x65"));
    }
    kv::MemorySettingsBackend store;
    kv::SerialComm comm{store};
};

}  // namespace

class SimSerialTest : public QObject {
    Q_OBJECT
  private slots:
    void sweepAllChannels_data() {
        QTest::addColumn<QStringList>("pacing");
        QTest::newRow("paced at 115200") << QStringList{"--baud", "115200", "--latency-ms", "0"};
        QTest::newRow("unpaced") << QStringList{};
    }
    void sweepAllChannels() {
        QFETCH(QStringList, pacing);
        SimProcess sim;
        const QString wireLog = sim.folder() + "/wire.txt";
        QVERIFY(sim.start(QStringList{"--noise-spread", "0", "--carrier", "100:-50", "--carrier",
                                      "200:-60:4", "--log", wireLog} +
                          pacing));
        Link link(sim);
        // A -50 dB carrier one channel wide and a -60 dB one four channels wide over -95 dB.
        const std::map<int, int> shaped = {
            {99, -74},  {100, -50}, {101, -74}, {195, -93}, {196, -84}, {197, -73}, {198, -66},
            {199, -61}, {200, -60}, {201, -61}, {202, -66}, {203, -73}, {204, -84}, {205, -93}};
        for (int ch = 0; ch < 256; ++ch) {
            QCOMPARE(hex(exchange(link.comm, channel(ch), 3)), hex(channel(ch)));
            const std::string level = exchange(link.comm, kLevel, 4);
            QCOMPARE(hex(level.substr(0, 2)), hex(kLevel));
            QCOMPARE(level.size(), 4u);
            const auto raw = static_cast<std::uint16_t>(static_cast<unsigned char>(level[2]) +
                                                        256 * static_cast<unsigned char>(level[3]));
            const auto it = shaped.find(ch);
            QCOMPARE(kv::levelFromReading(raw, -40), double(it == shaped.end() ? -95 : it->second));
        }
        QVERIFY(exchange(link.comm, "V", 5).starts_with('V'));
        QCOMPARE(hex(exchange(link.comm,
                              "\xCC"
                              "ATO\r",
                              4)),
                 hex("\xCC"
                     "DAT"));
        link.comm.output(channel(1));  // out of command mode: not answered
        QCOMPARE(sim.stat("commands"), 516);
        QCOMPARE(sim.stat("answered"), 516);
        QCOMPARE(sim.stat("sweeps"), 1);
        sim.stop();
        QFile wire(wireLog);
        QVERIFY(wire.open(QIODevice::ReadOnly));
        const QByteArray log = wire.readAll();
        QVERIFY(log.contains(" in  B1 64 00\n") && log.contains(" out B1 64 00\n"));
        QVERIFY(log.contains(" in  41 54 2B 2B 2B 0D\n") && log.contains(" out CC 43 4F 4D\n"));
    }

    void liveFaults() {
        SimProcess sim;
        QVERIFY(sim.start({"--fault", "wrong-echo:2"}));
        Link link(sim);
        QCOMPARE(hex(exchange(link.comm, channel(7), 3)), hex(channel(8)));  // the scheduled one
        QCOMPARE(hex(exchange(link.comm, channel(7), 3)), hex(channel(7)));
        QCOMPARE(sim.command("dead 0"), QString("ok"));
        link.comm.output(channel(9));
        QVERIFY(!link.comm.waitForInput(100ms));
        QCOMPARE(sim.command("alive"), QString("ok"));
        QCOMPARE(hex(exchange(link.comm, channel(9), 3)), hex(channel(9)));
        QCOMPARE(sim.command("fault extra-echo"), QString("ok"));
        QCOMPARE(exchange(link.comm, channel(9), 4).size(), 4u);
        QCOMPARE(sim.stat("unanswered"), 1);
        QCOMPARE(sim.stat("faults"), 3);  // wrong echo, dead, extra echo
        QVERIFY(sim.command("frobnicate").startsWith("error: "));
    }

    void vanishAndReturn() {
        SimProcess sim;
        QVERIFY(sim.start());
        Link link(sim);
        QCOMPARE(sim.command("vanish"), QString("ok"));
        QVERIFY(QFileInfo(sim.linkPath()).isSymLink());  // left dangling, as an unplugged adapter's
        link.comm.output(channel(4));
        link.comm.input();
        QTRY_VERIFY(link.comm.portLost());
        QVERIFY(!link.comm.portOpen());

        const QString device = sim.command("return");
        QCOMPARE(QFileInfo(sim.linkPath()).symLinkTarget(), device);
        QVERIFY2(link.comm.setPortOpen(true), link.comm.lastError().c_str());
        // The radio lost power with its adapter: it starts again outside command mode.
        link.comm.output(channel(5));
        QVERIFY(!link.comm.waitForInput(100ms));
        link.enterCommandMode();
        QCOMPARE(hex(exchange(link.comm, channel(5), 3)), hex(channel(5)));
        QCOMPARE(sim.stat("vanish"), 1);
        sim.stop();
        QVERIFY(!QFileInfo(sim.linkPath()).isSymLink());  // removed on exit
    }

    void badOptionsExitWith2() {
        for (const QStringList& args :
             {QStringList{"--no-such-option"}, {"--seed"}, {"/dev/ttyS0"}}) {
            QProcess sim;
            sim.start(SimProcess::executable("kv3710-sim"), args);
            QVERIFY(sim.waitForFinished(5000));
            QCOMPARE(sim.exitCode(), 2);
            QVERIFY(sim.readAllStandardError().startsWith("kv3710-sim: "));
        }
    }
};

QTEST_GUILESS_MAIN(SimSerialTest)
#include "test_sim_serial.moc"
