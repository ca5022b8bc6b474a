// The real kv3710-sim reached through the program's own serial layer: command mode, a full
// 256-channel sweep with and without pacing, and a device that vanishes and comes back.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <chrono>
#include <cmath>
#include <map>
#include <string>

#include "serial_comm.h"
#include "settings_backend.h"

using namespace std::chrono_literals;

namespace {

const std::string kAttention = "AT+++\r";
const std::string kEscape = "\xCC\x65";
const std::string kExit =
    "\xCC"
    "ATO\r";
const std::string kCom =
    "\xCC"
    "COM";
const std::string kDat =
    "\xCC"
    "DAT";
const std::string kLevel = "\x21\x02";
std::string channel(int ch) {
    return std::string{'\xB1', static_cast<char>(ch), '\x00'};
}

// How the analyzer reads a converter value.
int programLevel(unsigned raw) {
    float volts = static_cast<float>(raw / 1023.0 * 3.3);
    if (volts > 1.2f) volts = 1.2f;
    return static_cast<int>(std::nearbyint((1.2 - volts) / 0.022 - 97));
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

QString readLine(QProcess& process) {
    QElapsedTimer timer;
    timer.start();
    while (!process.canReadLine() && timer.elapsed() < 5000) process.waitForReadyRead(100);
    return QString::fromUtf8(process.readLine()).trimmed();
}

QString control(QProcess& sim, const QByteArray& command) {
    sim.write(command + '\n');
    return readLine(sim);
}

struct Sim {
    QProcess process;
    QString device;
};

bool startSim(Sim& sim, const QStringList& args) {
    sim.process.start(qEnvironmentVariable("KV_BUILD_DIR") + "/kv3710-sim", args);
    if (!sim.process.waitForStarted(5000)) return false;
    sim.device = readLine(sim.process);
    return sim.device.startsWith('/');
}

void stopSim(Sim& sim) {
    sim.process.terminate();  // SIGTERM
    QVERIFY(sim.process.waitForFinished(5000));
    QCOMPARE(sim.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.process.exitCode(), 0);
}

void enterCommandMode(kv::SerialComm& comm) {
    QCOMPARE(hex(exchange(comm, kAttention, 4)), hex(kCom));
    QCOMPARE(hex(exchange(comm, kEscape, 1)), hex("\x65"));
}

}  // namespace

class SimSerialTest : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void sweepAllChannels_data();
    void sweepAllChannels();
    void deadAndAlive();
    void vanishAndReturn();

  private:
    QTemporaryDir dir_;
};

void SimSerialTest::init() {
    QVERIFY(dir_.isValid());
}

void SimSerialTest::sweepAllChannels_data() {
    QTest::addColumn<QStringList>("pacing");
    QTest::newRow("paced at 115200") << QStringList{"--baud", "115200", "--latency-ms", "0"};
    QTest::newRow("unpaced") << QStringList{};
}

void SimSerialTest::sweepAllChannels() {
    QFETCH(QStringList, pacing);
    const QString sweepLog = dir_.filePath("sweeps.txt");
    const QString wireLog = dir_.filePath("wire.txt");
    Sim sim;
    QVERIFY(startSim(sim, QStringList{"--noise-spread", "0", "--carrier", "100:-50", "--carrier",
                                      "200:-60:4", "--sweep-log", sweepLog, "--log", wireLog} +
                              pacing));
    kv::MemorySettingsBackend store;
    store.values[{"Ports", "COM1"}] = sim.device.toStdString();
    kv::SerialComm comm(store);
    QVERIFY(comm.setCommPort(1));
    QVERIFY(comm.setSettings("115200,n,8,1"));
    QVERIFY2(comm.setPortOpen(true), comm.lastError().c_str());

    // A -50 dB carrier one channel wide and a -60 dB one four channels wide over a -95 dB floor.
    const std::map<int, int> expectedLevels = {
        {99, -74},  {100, -50}, {101, -74}, {195, -93}, {196, -84}, {197, -73}, {198, -66},
        {199, -61}, {200, -60}, {201, -61}, {202, -66}, {203, -73}, {204, -84}, {205, -93}};
    enterCommandMode(comm);
    for (int ch = 0; ch < 256; ++ch) {
        QCOMPARE(hex(exchange(comm, channel(ch), 3)), hex(channel(ch)));
        const std::string level = exchange(comm, kLevel, 4);
        QCOMPARE(level.size(), 4u);
        QCOMPARE(hex(level.substr(0, 2)), hex(kLevel));
        const unsigned raw =
            static_cast<unsigned char>(level[2]) + 256u * static_cast<unsigned char>(level[3]);
        const auto shaped = expectedLevels.find(ch);
        const int expected = shaped == expectedLevels.end() ? -95 : shaped->second;
        QCOMPARE(programLevel(raw), expected);
    }
    const std::string version = exchange(comm, "V", 5);
    QVERIFY(version.starts_with('V'));
    QCOMPARE(hex(exchange(comm, kExit, 4)), hex(kDat));
    // Out of command mode a channel command is not answered.
    comm.output(channel(1));

    const QString stats = control(sim.process, "stats");
    QVERIFY2(stats.startsWith("commands=516 answered=516 "), qPrintable(stats));
    QVERIFY2(stats.contains(" sweeps=1 ") && stats.contains(" faults=0 "), qPrintable(stats));
    QVERIFY2(stats.contains(" mode=data "), qPrintable(stats));
    comm.setPortOpen(false);
    stopSim(sim);

    QFile sweeps(sweepLog);
    QVERIFY(sweeps.open(QIODevice::ReadOnly));
    const QList<QByteArray> stamps = sweeps.readAll().trimmed().split('\n');
    QCOMPARE(stamps.size(), 1);
    bool isNumber = false;
    QVERIFY(stamps[0].toDouble(&isNumber) > 0.0 && isNumber);
    QFile wire(wireLog);
    QVERIFY(wire.open(QIODevice::ReadOnly));
    const QByteArray log = wire.readAll();
    QVERIFY(log.contains(" in  B1 64 00\n") && log.contains(" out B1 64 00\n"));
    QVERIFY(log.contains(" in  41 54 2B 2B 2B 0D\n") && log.contains(" out CC 43 4F 4D\n"));
}

void SimSerialTest::deadAndAlive() {
    Sim sim;
    QVERIFY(startSim(sim, {"--fault", "wrong-echo:2"}));
    kv::MemorySettingsBackend store;
    store.values[{"Ports", "COM1"}] = sim.device.toStdString();
    kv::SerialComm comm(store);
    QVERIFY2(comm.setPortOpen(true), comm.lastError().c_str());
    enterCommandMode(comm);
    QCOMPARE(hex(exchange(comm, channel(7), 3)), hex(channel(8)));  // the scheduled fault
    QCOMPARE(hex(exchange(comm, channel(7), 3)), hex(channel(7)));

    QCOMPARE(control(sim.process, "dead 0"), QString("ok"));
    comm.output(channel(9));
    QVERIFY(!comm.waitForInput(100ms));
    QVERIFY(control(sim.process, "stats").contains(" unanswered=1 "));
    QCOMPARE(control(sim.process, "alive"), QString("ok"));
    QCOMPARE(hex(exchange(comm, channel(9), 3)), hex(channel(9)));
    QCOMPARE(control(sim.process, "fault extra-echo"), QString("ok"));
    QCOMPARE(exchange(comm, channel(9), 4).size(), 4u);
    QCOMPARE(control(sim.process, "clear"), QString("ok"));
    QVERIFY(control(sim.process, "stats").contains(" faults=3 "));  // wrong, dead, extra
    QVERIFY(control(sim.process, "frobnicate").startsWith("error: "));
    comm.setPortOpen(false);
    stopSim(sim);
}

void SimSerialTest::vanishAndReturn() {
    const QString link = dir_.filePath("kv3710");
    Sim sim;
    QVERIFY(startSim(sim, {"--link", link}));
    QCOMPARE(QFileInfo(link).symLinkTarget(), sim.device);
    kv::MemorySettingsBackend store;
    store.values[{"Ports", "COM1"}] = link.toStdString();
    kv::SerialComm comm(store);
    QVERIFY2(comm.setPortOpen(true), comm.lastError().c_str());
    enterCommandMode(comm);
    QCOMPARE(hex(exchange(comm, channel(3), 3)), hex(channel(3)));

    QCOMPARE(control(sim.process, "vanish"), QString("ok"));
    QVERIFY(QFileInfo(link).isSymLink());  // left dangling, as an unplugged adapter's name
    comm.output(channel(4));
    comm.input();
    QTRY_VERIFY(comm.portLost());
    QVERIFY(!comm.portOpen());

    const QString device = control(sim.process, "return");
    QVERIFY(device.startsWith('/'));
    QCOMPARE(QFileInfo(link).symLinkTarget(), device);
    QVERIFY2(comm.setPortOpen(true), comm.lastError().c_str());
    QVERIFY(!comm.portLost());
    // The radio lost power with its adapter: it starts again outside command mode.
    comm.output(channel(5));
    QVERIFY(!comm.waitForInput(100ms));
    enterCommandMode(comm);
    QCOMPARE(hex(exchange(comm, channel(5), 3)), hex(channel(5)));
    QVERIFY(control(sim.process, "stats").contains(" vanish=1 "));

    comm.setPortOpen(false);
    stopSim(sim);
    QVERIFY(!QFileInfo(link).isSymLink());  // removed on exit
}

QTEST_GUILESS_MAIN(SimSerialTest)
#include "test_sim_serial.moc"
