// SPDX-License-Identifier: GPL-3.0-or-later
// The serial control on real pseudo-terminals: every byte both ways, line settings, ports that
// cannot be had, the receive event, and a device that vanishes and comes back.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QtTest>
#include <numeric>

#include "fake_machine.h"
#include "memory_settings_backend.h"
#include "port_names.h"
#include "serial_comm.h"
#include "serial_ports.h"

using namespace std::chrono_literals;

namespace {

// The test plays the radio on the master side; the slave, held open here too, outlives the port.
struct Pty {
    Pty() : master(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
        termios raw{};
        if (master < 0 || ::grantpt(master) || ::unlockpt(master)) return;
        ::tcgetattr(master, &raw);
        ::cfmakeraw(&raw);  // a serial line does not echo
        ::tcsetattr(master, TCSANOW, &raw);
        path = ::ptsname(master);
        slave = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ::tcsetattr(slave, TCSANOW, &raw);
    }
    ~Pty() { hangUp(); }
    void write(std::string_view data) {  // a few bytes, which fit in the pair's buffer
        QCOMPARE(::write(master, data.data(), data.size()), ssize_t(data.size()));
    }
    // Reads until `count` bytes came or nothing came for a second.
    std::string read(std::size_t count) {
        std::string got;
        std::array<char, 4096> chunk;
        for (pollfd p{master, POLLIN, 0}; got.size() < count && ::poll(&p, 1, 1000) > 0;) {
            const ssize_t n = ::read(master, chunk.data(), chunk.size());
            if (n <= 0) break;
            got.append(chunk.data(), static_cast<std::size_t>(n));
        }
        return got;
    }
    void hangUp() {  // unplugs the device: the slave path disappears
        for (int* fd : {&slave, &master})
            if (*fd >= 0) ::close(std::exchange(*fd, -1));
    }
    int master;
    int slave = -1;
    std::string path;
};

}  // namespace

class TestSerialComm : public QObject {
    Q_OBJECT

    kv::MemorySettingsBackend store_;
    kv::test::FakeMachine machine_;
    std::unique_ptr<Pty> pty_;
    std::unique_ptr<kv::SerialComm> comm_;
    QTemporaryDir dir_;

    bool openComm() {  // also when it is open already
        const bool opened = comm_->setPortOpen(true);
        if (!opened) qWarning() << comm_->lastError().c_str();
        return opened && comm_->portOpen();
    }
    // No event-loop turn in between: output() must have sent, input() must fetch.
    void verifyRoundTrip(const std::string& out) {
        comm_->output(out);
        QCOMPARE(QByteArray::fromStdString(pty_->read(out.size())), QByteArray::fromStdString(out));
        pty_->write(out);
        std::string got;
        while (got.size() < out.size() && comm_->waitForInput(2000ms)) got += comm_->input();
        QCOMPARE(QByteArray::fromStdString(got), QByteArray::fromStdString(out));
    }
    // The device under another name, as a user's symbolic link would give it.
    std::string linkToDevice() {
        const std::string link = dir_.filePath("radio").toStdString();
        ::unlink(link.c_str());
        if (::symlink(pty_->path.c_str(), link.c_str()) != 0) qFatal("symlink failed");
        return link;
    }

  private slots:
    void init() {
        comm_.reset();
        pty_ = std::make_unique<Pty>();
        QVERIFY(pty_->slave >= 0);
        store_ = {};
        machine_ = {};
        store_.write("Ports", "COM1", pty_->path);
        comm_ = std::make_unique<kv::SerialComm>(store_, machine_);
        QVERIFY(comm_->setCommPort(1));
    }

    // The device a port number stands for, and the device a [Ports] path leads to: by its
    // stable path, its node, or the node a link points at.
    void portPaths() {
        QCOMPARE(kv::devicePathForPort(store_, 1), pty_->path);
        QCOMPARE(kv::devicePathForPort(store_, 3), std::string("/dev/ttyS2"));
        QCOMPARE(kv::devicePathForPort(store_, 0), std::string());
        QCOMPARE(kv::devicePathForPort(store_, kv::kHighestPortNumber + 1), std::string());
        QTemporaryDir dir;
        const std::string link = dir.filePath("radio").toStdString();
        QVERIFY(::symlink(pty_->path.c_str(), link.c_str()) == 0);
        const std::vector<kv::SerialDevice> devices = {{"/dev/ttyUSB7", "/x/usb-a", {}, {}, {}},
                                                       {pty_->path, {}, {}, {}, {}}};
        QCOMPARE(kv::findDevice(devices, "/x/usb-a"), &devices[0]);
        QCOMPARE(kv::findDevice(devices, "/dev/ttyUSB7"), &devices[0]);
        QCOMPARE(kv::findDevice(devices, link), &devices[1]);
        QCOMPARE(kv::findDevice(devices, ""), nullptr);
        QCOMPARE(kv::findDevice(devices, dir.filePath("gone").toStdString()), nullptr);
    }

    void everyByteValueBothWays() {
        for (bool setWhileOpen : {false, true}) {
            if (setWhileOpen) QVERIFY(openComm());
            QVERIFY(comm_->setSettings(setWhileOpen ? "110,n,8,1" : "115200,n,8,1"));
            QVERIFY(openComm());
            comm_->setHandshaking(0);
            comm_->setRtsEnable(true);
            comm_->setRtsEnable(false);  // a pseudo-terminal has no modem lines
            std::string all(256, '\0');
            std::iota(all.begin(), all.end(), '\0');
            verifyRoundTrip(all);
            // Refused settings leave the earlier ones in force, and the port working.
            for (const char* bad : {"9600,n,8,1.5", "115200,x,8,1", "9600,n,9,1", "0,n,8,1"})
                QVERIFY(!comm_->setSettings(bad) && !comm_->lastError().empty());
            QCOMPARE(comm_->settings(), std::string(setWhileOpen ? "110,n,8,1" : "115200,n,8,1"));
            verifyRoundTrip("ok");
            QVERIFY(comm_->setPortOpen(false) && !comm_->portLost());
            QVERIFY(comm_->setSettings("300,O,5,1.5") && comm_->settings() == "300,o,5,1.5");
        }
    }

    // Numbers outside 1..255 are refused; COM255 names odd devices; a port held by another.
    void cannotOpen() {
        QVERIFY(!comm_->setCommPort(0) && !comm_->setCommPort(256) && comm_->commPort() == 1);
        for (const char* device : {"/nonexistent/ttyKV", "/dev/null", "/tmp"}) {
            store_.write("Ports", "COM255", device);
            QVERIFY(comm_->setCommPort(255));
            QCOMPARE(comm_->devicePath(), std::string(device));
            const bool first = device[1] == 'n';
            // Logged with the reason, once while the reason stays the same.
            if (first) QTest::ignoreMessage(QtWarningMsg, QRegularExpression("COM255: .*ttyKV"));
            QVERIFY(!comm_->setPortOpen(true));
            if (first) QTest::failOnWarning(QRegularExpression("COM255: .*ttyKV"));
            QVERIFY(!comm_->setPortOpen(true) && !comm_->lastError().empty());
            QCOMPARE(comm_->openProblem().failure,
                     first ? kv::OpenFailure::Missing : kv::OpenFailure::Other);
        }
        store_.write("Ports", "COM2", linkToDevice());
        QVERIFY(comm_->setCommPort(1) && openComm());
        kv::SerialComm other(store_, machine_);
        for (int port : {1, 2}) {
            QVERIFY(other.setCommPort(port) && !other.setPortOpen(true));
            QCOMPARE(other.openProblem().failure, kv::OpenFailure::Busy);
            QCOMPARE(other.openProblem().pid, long(::getpid()));  // from QSerialPort's lock file
            QCOMPARE(other.openProblem().program,  // as the system names it, at most 15 letters
                     QCoreApplication::applicationName().left(15).toStdString());
        }
        verifyRoundTrip("still mine");
        QVERIFY(comm_->setPortOpen(false) && other.setPortOpen(true) && other.setPortOpen(false));
    }

    // The receive event comes from the loop, only for bytes still waiting; bytes taken by another
    // reader leave the notifier nothing and a stale errno (EIO stopped QSerialPort reading).
    void receiveEvent() {
        std::string seen;  // what each receive event found, in brackets
        comm_->setOnComm([&] { seen += "[" + comm_->input() + "]"; });
        {
            // Registered before the port opens, so it is served first.
            QSocketNotifier thief(pty_->slave, QSocketNotifier::Read);
            std::size_t stolen = 0;
            connect(&thief, &QSocketNotifier::activated, this, [&] {
                std::array<char, 64> chunk;
                for (ssize_t n; (n = ::read(pty_->slave, chunk.data(), chunk.size())) > 0;)
                    stolen += static_cast<std::size_t>(n);
                errno = EIO;
            });
            QVERIFY(openComm());
            pty_->write("stolen");
            // However long a busy machine takes to serve the thief.
            QTRY_COMPARE(stolen, std::size_t{6});
        }
        pty_->write("\xCC\x01");
        QVERIFY(comm_->waitForInput(2000ms));
        QCOMPARE(comm_->input(), std::string("\xCC\x01"));
        QCoreApplication::processEvents();  // nothing left waiting: no event
        pty_->write("\x21\x02");
        QVERIFY(comm_->waitForInput(2000ms));
        QVERIFY(seen.empty());  // not before the event loop runs
        QTRY_COMPARE(seen, std::string("[\x21\x02]"));
        // Bytes the loop fetched into the port's buffer and nobody took yet are waiting too.
        comm_->setOnComm([] {});
        pty_->write("\x33");
        QTest::qWait(50);
        QVERIFY(comm_->waitForInput(2000ms));
        QCOMPARE(comm_->input(), std::string("\x33"));
        QVERIFY(comm_->portOpen() && !comm_->portLost());
    }

    // The port closes once, the loop stays idle, and it reopens when the device is back.
    void vanishedDeviceClosesThePortAndReopens() {
        const std::string link = linkToDevice();
        store_.write("Ports", "COM3", link);
        QVERIFY(comm_->setCommPort(3) && openComm());
        // Unplugged as udev does it: the link goes with the device. The freed terminal number
        // may go to a test beside this one at once.
        pty_->hangUp();
        ::unlink(link.c_str());
        QVERIFY(!comm_->waitForInput(10ms));  // a hung-up device has nothing to read
        int wakeUps = 0;
        const auto counter = connect(QAbstractEventDispatcher::instance(),
                                     &QAbstractEventDispatcher::awake, this, [&] { ++wakeUps; });
        QEventLoop loop;  // the application's loop, which sleeps only when nothing is due
        QTimer::singleShot(300, &loop, &QEventLoop::quit);
        loop.exec();
        disconnect(counter);
        QVERIFY(!comm_->portOpen() && comm_->portLost() && !comm_->lastError().empty());
        // A loop kept busy by the dead device wakes thousands of times; an idle one a few.
        QVERIFY2(wakeUps < 100, qPrintable(QString::number(wakeUps)));
        QVERIFY(!comm_->setPortOpen(true));  // no link, no device

        pty_ = std::make_unique<Pty>();  // the adapter is plugged in again
        linkToDevice();
        QVERIFY(openComm() && !comm_->portLost());
        verifyRoundTrip("back");
    }
};

QTEST_GUILESS_MAIN(TestSerialComm)
#include "test_serial_comm.moc"
