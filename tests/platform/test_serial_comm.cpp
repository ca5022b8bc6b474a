// The serial control on real pseudo-terminals: every byte both ways, line settings, ports that
// cannot be had, the receive event, and a device that vanishes and comes back.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QProcess>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QtTest>
#include <numeric>
#include <thread>

#include "fake_machine.h"
#include "memory_settings_backend.h"
#include "serial_comm.h"

using namespace std::chrono_literals;

namespace {

// The test plays the radio on the master side; the port under test opens the slave, which the
// pair also holds open itself so that it outlives the port's closing.
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
    void write(std::string_view data) {
        for (pollfd p{master, POLLOUT, 0}; !data.empty(); ::poll(&p, 1, 100))
            data.remove_prefix(static_cast<std::size_t>(
                std::max<ssize_t>(0, ::write(master, data.data(), data.size()))));
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

    bool openComm() {
        if (!comm_->setPortOpen(true)) qWarning() << comm_->lastError().c_str();
        return comm_->portOpen();
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

    // Port numbers outside 1..255 are refused; COM255 names each device by hand. Then the port
    // is held by another control, under the same or another name, and by another program.
    void cannotOpen() {
        QVERIFY(!comm_->setCommPort(0) && !comm_->setCommPort(256));
        QCOMPARE(comm_->commPort(), 1);
        for (const char* device : {"/nonexistent/ttyKV", "/dev/null", "/tmp"}) {
            store_.write("Ports", "COM255", device);
            QVERIFY(comm_->setCommPort(255));
            QCOMPARE(comm_->devicePath(), std::string(device));
            const bool first = device == std::string("/nonexistent/ttyKV");
            // Logged with the reason, once while the reason stays the same.
            if (first) QTest::ignoreMessage(QtWarningMsg, QRegularExpression("COM255: .*ttyKV"));
            QVERIFY(!comm_->setPortOpen(true));
            if (first) QTest::failOnWarning(QRegularExpression("COM255: .*ttyKV"));
            QVERIFY(!comm_->setPortOpen(true) && !comm_->lastError().empty());
            QCOMPARE(comm_->openProblem().failure,
                     device[1] == 'n' ? kv::OpenFailure::Missing : kv::OpenFailure::Other);
        }
        store_.write("Ports", "COM2", linkToDevice());
        QVERIFY(comm_->setCommPort(1) && openComm());
        kv::SerialComm other(store_, machine_);
        for (int port : {1, 2}) {
            QVERIFY(other.setCommPort(port) && !other.setPortOpen(true));
            QCOMPARE(other.openProblem().failure, kv::OpenFailure::Busy);
            QCOMPARE(other.openProblem().pid, long(::getpid()));  // from QSerialPort's lock file
        }
        verifyRoundTrip("still mine");
        QVERIFY(comm_->setPortOpen(false) && other.setPortOpen(true) && other.setPortOpen(false));

        QProcess holder;  // holds the lock until its input ends
        holder.start("flock", {"--nonblock", "--close", QString::fromStdString(pty_->path), "-c",
                               "echo locked; exec cat"});
        QVERIFY(holder.waitForReadyRead(5000));
        QVERIFY(!comm_->setPortOpen(true));
        QCOMPARE(comm_->openProblem().failure, kv::OpenFailure::Busy);
        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(5000));
        QVERIFY(openComm());
    }

    // errno values of a failed open and QSerialPort's errors, as the user is told them; the
    // reason for a denied permission names the device's group and the remedy.
    void failureReasons() {
        using F = kv::OpenFailure;
        QCOMPARE(kv::classifyOpenErrno(ENOENT), F::Missing);
        QCOMPARE(kv::classifyOpenErrno(EBUSY), F::Busy);
        QCOMPARE(kv::classifyOpenErrno(EACCES), F::PermissionDenied);
        QCOMPARE(kv::classifyOpenErrno(EIO), F::Other);
        QCOMPARE(kv::SerialComm::classify(QSerialPort::DeviceNotFoundError), F::Missing);
        QCOMPARE(kv::SerialComm::classify(QSerialPort::PermissionError), F::PermissionDenied);
        QCOMPARE(kv::SerialComm::classify(QSerialPort::OpenError), F::Other);
        const QString group = QFileInfo(QString::fromStdString(pty_->path)).group();
        const QString text =
            QString::fromStdString(kv::describeOpenFailure(F::PermissionDenied, pty_->path).text());
        QVERIFY2(text.contains(" belongs to the group " + group + ".") &&
                     text.contains("\"sudo usermod -aG " + group + " "),
                 qPrintable(text));
    }

    // The [Ports] section after two adapters $A and $B (device nodes $nodeA, $nodeB) were
    // found on a machine with the given on-board ports and entries.
    void numbering_data() {
        QTest::addColumn<QList<int>>("onBoard");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::newRow("no on-board port") << QList<int>{} << ""
                                          << "COM1=$A COM2=$B";
        QTest::newRow("on-board COM1, COM2") << QList<int>{1, 2} << ""
                                             << "COM3=$A COM4=$B";
        QTest::newRow("gaps filled, entries kept") << QList<int>{2} << "COM1=/dev/ttyUSB9 COM4="
                                                   << "COM1=/dev/ttyUSB9 COM3=$A COM4= COM5=$B";
        QTest::newRow("known by stable path") << QList<int>{} << "COM5=$A"
                                              << "COM1=$B COM5=$A";
        QTest::newRow("known by device, beyond 16") << QList<int>{} << "COM20=$nodeB"
                                                    << "COM1=$A COM20=$nodeB";
        QTest::newRow("one number left")
            << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15} << ""
            << "COM16=$A";
    }
    void numbering() {
        QFETCH(QList<int>, onBoard);
        QFETCH(QString, before);
        QFETCH(QString, after);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("by-id"));
        machine_.onBoard.assign(onBoard.begin(), onBoard.end());
        machine_.byIdFolder = dir.filePath("by-id");
        for (const QString id : {"A", "B"}) {
            QFile node(dir.filePath("tty" + id));
            QVERIFY(node.open(QIODevice::WriteOnly));
            const QString link = dir.filePath("by-id/usb-Maker_Adapter_" + id + "-if00-port0");
            QVERIFY(QFile::link(node.fileName(), link));
            before.replace("$node" + id, node.fileName()).replace("$" + id, link);
            after.replace("$node" + id, node.fileName()).replace("$" + id, link);
        }
        kv::MemorySettingsBackend store;
        for (const QString& entry : before.split(' ', Qt::SkipEmptyParts))
            store.write("Ports", entry.section('=', 0, 0).toStdString(),
                        entry.section('=', 1).toStdString());
        kv::SerialComm comm(store, machine_);
        QVERIFY(comm.setCommPort(1));
        QVERIFY(comm.setCommPort(1));  // a second look adds nothing
        QStringList got;
        for (int n = 1; n <= kv::kHighestPortNumber; ++n)
            if (const auto path = store.read("Ports", kv::portKey(n)))
                got << QString::fromStdString(kv::portKey(n) + '=' + *path);
        QCOMPARE(got.join(' '), after);
    }

    // input() fetches without the event loop; the receive event waits for the loop and comes
    // only for bytes still waiting then. Another reader of the device may take the bytes
    // before the port's notifier gets to them; the notifier then finds nothing and reports a
    // read error, with whatever errno a call before left (EIO stops QSerialPort reading).
    void receiveEvent_data() {
        QTest::addColumn<int>("staleErrno");
        QTest::newRow("no stale errno") << 0;
        QTest::newRow("stale EIO") << EIO;
    }
    void receiveEvent() {
        QFETCH(int, staleErrno);
        int raised = 0;
        std::string seen;
        comm_->setOnComm([&] {
            ++raised;
            seen += comm_->input();
        });
        {
            // Registered before the port opens, so it is served first.
            QSocketNotifier notifier(pty_->slave, QSocketNotifier::Read);
            connect(&notifier, &QSocketNotifier::activated, this, [&] {
                std::array<char, 64> chunk;
                while (::read(pty_->slave, chunk.data(), chunk.size()) > 0) {
                }
                if (staleErrno) errno = staleErrno;
            });
            QVERIFY(openComm());
            pty_->write("stolen");
            QTest::qWait(50);
        }
        pty_->write("\xCC\x01");
        QVERIFY(comm_->waitForInput(2000ms));
        QCOMPARE(comm_->input(), std::string("\xCC\x01"));
        QTest::qWait(20);
        QCOMPARE(raised, 0);  // nothing left waiting
        pty_->write("\x21\x02");
        std::this_thread::sleep_for(20ms);
        QCOMPARE(raised, 0);  // not before the event loop runs
        QTRY_COMPARE(seen, std::string("\x21\x02"));
        QCOMPARE(raised, 1);
        QVERIFY(comm_->portOpen() && !comm_->portLost());
    }

    // The port closes once, the idle event loop stays idle, and it opens again when the
    // device is back under the same name.
    void vanishedDeviceClosesThePortAndReopens() {
        store_.write("Ports", "COM3", linkToDevice());
        QVERIFY(comm_->setCommPort(3));
        QVERIFY(openComm());

        pty_->hangUp();
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
        QVERIFY(!comm_->setPortOpen(true));  // the link points nowhere now

        pty_ = std::make_unique<Pty>();  // the adapter is plugged in again
        linkToDevice();
        QVERIFY(openComm() && !comm_->portLost());
        verifyRoundTrip("back");
    }
};

QTEST_GUILESS_MAIN(TestSerialComm)
#include "test_serial_comm.moc"
