// The serial control on real pseudo-terminals: bytes both ways, line settings, port numbers,
// ports that cannot be had, and a device that vanishes and comes back.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QProcess>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>
#include <numeric>
#include <thread>

#include "serial_comm.h"

using namespace std::chrono_literals;

namespace {

QByteArray bytes(const std::string& s) {
    return QByteArray::fromStdString(s);
}

// The test plays the radio on the master side; the port under test opens the slave.
class Pty {
  public:
    Pty() : master_(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
        termios raw{};
        ::tcgetattr(master_, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(master_, TCSANOW, &raw);
        slavePath_ = ::ptsname(master_);
        // Holding a slave open keeps the pair alive while the port under test closes.
        slave_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ::tcsetattr(slave_, TCSANOW, &raw);  // a serial line does not echo
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
    ~Pty() { hangUp(); }

    bool ok() const { return master_ >= 0 && slave_ >= 0; }
    const std::string& slavePath() const { return slavePath_; }
    int slave() const { return slave_; }
    void write(std::string_view data) {
        for (pollfd p{master_, POLLOUT, 0}; !data.empty(); ::poll(&p, 1, 100)) {
            const ssize_t n = ::write(master_, data.data(), data.size());
            if (n > 0) data.remove_prefix(static_cast<std::size_t>(n));
        }
    }
    // Reads until `count` bytes came or nothing came for `quiet`.
    std::string read(std::size_t count, std::chrono::milliseconds quiet = 1000ms) {
        std::string got;
        std::array<char, 4096> chunk;
        pollfd p{master_, POLLIN, 0};
        while (got.size() < count && ::poll(&p, 1, static_cast<int>(quiet.count())) > 0) {
            const ssize_t n = ::read(master_, chunk.data(), chunk.size());
            if (n <= 0) break;
            got.append(chunk.data(), static_cast<std::size_t>(n));
        }
        return got;
    }
    // Unplugs the device: the slave path disappears.
    void hangUp() {
        for (int* fd : {&slave_, &master_})
            if (*fd >= 0) ::close(std::exchange(*fd, -1));
    }

  private:
    int master_;
    int slave_ = -1;
    std::string slavePath_;
};

}  // namespace

class TestSerialComm : public QObject {
    Q_OBJECT

    kv::MemorySettingsBackend store_;
    std::unique_ptr<Pty> pty_;
    std::unique_ptr<kv::SerialComm> comm_;

    bool openComm() {
        if (!comm_->setPortOpen(true)) qWarning() << comm_->lastError().c_str();
        return comm_->portOpen();
    }
    // No event-loop turn in between: output() must have sent, input() must fetch.
    void verifyRoundTrip(const std::string& out) {
        comm_->output(out);
        QCOMPARE(bytes(pty_->read(out.size())), bytes(out));
        pty_->write(out);
        std::string got;
        while (got.size() < out.size() && comm_->waitForInput(2000ms)) got += comm_->input();
        QCOMPARE(bytes(got), bytes(out));
    }
    // The same device under another name, as a user's symbolic link or a COM mapping.
    std::string linkTo(const QTemporaryDir& dir, const std::string& target) {
        const std::string link = dir.filePath("radio").toStdString();
        ::unlink(link.c_str());
        if (::symlink(target.c_str(), link.c_str()) != 0) qFatal("symlink failed");
        return link;
    }

  private slots:
    void init() {
        pty_ = std::make_unique<Pty>();
        QVERIFY(pty_->ok());
        store_ = {};
        store_.write("Ports", "COM1", pty_->slavePath());
        comm_ = std::make_unique<kv::SerialComm>(store_);
        QVERIFY(comm_->setCommPort(1));
    }
    void cleanup() {
        comm_.reset();
        pty_.reset();
    }

    void everyByteValueBothWays_data() {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<bool>("setWhileOpen");
        QTest::newRow("115200 before open") << "115200,n,8,1" << false;
        QTest::newRow("110 while open") << "110,n,8,1" << true;
        QTest::newRow("28800 while open") << "28800,n,8,1" << true;
    }
    void everyByteValueBothWays() {
        QFETCH(QString, settings);
        QFETCH(bool, setWhileOpen);
        if (setWhileOpen) QVERIFY(openComm());
        QVERIFY2(comm_->setSettings(settings.toStdString()), comm_->lastError().c_str());
        QVERIFY(openComm());
        comm_->setHandshaking(0);
        comm_->setRtsEnable(true);
        comm_->setRtsEnable(false);  // a pseudo-terminal has no modem lines
        std::string all(256, '\0');
        std::iota(all.begin(), all.end(), '\0');
        verifyRoundTrip(all);
        QVERIFY(!comm_->portLost());
    }

    // Refused settings leave the earlier ones in force, and an open port working.
    void lineSettings_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("formatted");  // empty: refused
        QTest::addColumn<bool>("open");
        for (const char* ok : {"9600,E,7,2 9600,e,7,2", "300,o,5,1.5 300,o,5,1.5",
                               "1200,M,6,1 1200,m,6,1", "2400,s,8,2 2400,s,8,2"}) {
            const QStringList pair = QString(ok).split(' ');
            QTest::newRow(ok) << pair[0] << pair[1] << false;
        }
        for (const char* bad : {"115200,,8,1", "115200,x,8,1", "115200,nn,8,1", "", "115200,n,8",
                                "115200,n,8,1,", "abc,n,8,1", "0,n,8,1", "-9600,n,8,1",
                                "+9600,n,8,1", "99999999999,n,8,1", " 9600,n,8,1", "9600,n,4,1",
                                "9600,n,9,1", "9600,n,8,0", "9600,n,8,3", "9600,n,8,1.0"})
            QTest::addRow("refused: '%s'", bad) << QString(bad) << QString() << false;
        QTest::newRow("1.5 stop bits need 5 data bits, closed") << "9600,n,8,1.5"
                                                                << "" << false;
        QTest::newRow("1.5 stop bits need 5 data bits, open") << "9600,n,8,1.5"
                                                              << "" << true;
        QTest::newRow("unknown parity, open") << "115200,x,8,1"
                                              << "" << true;
    }
    void lineSettings() {
        QFETCH(QString, text);
        QFETCH(QString, formatted);
        QFETCH(bool, open);
        QVERIFY(comm_->setSettings("19200,n,8,1"));
        if (open) QVERIFY(openComm());
        QCOMPARE(comm_->setSettings(text.toStdString()), !formatted.isEmpty());
        QCOMPARE(comm_->settings(),
                 formatted.isEmpty() ? std::string("19200,n,8,1") : formatted.toStdString());
        QCOMPARE(comm_->lastError().empty(), !formatted.isEmpty());
        QCOMPARE(comm_->portOpen(), open);
        if (open) verifyRoundTrip("ok");
    }

    void portNumbers_data() {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("path");  // empty: refused
        QTest::newRow("COM2 mapped") << 2 << "/dev/ttyUSB0";
        QTest::newRow("COM4 empty entry") << 4 << "/dev/ttyS3";
        QTest::newRow("COM12 only in another section") << 12 << "/dev/ttyS11";
        QTest::newRow("COM255") << 255 << "/dev/ttyS254";
        QTest::newRow("COM256") << 256 << "";
        QTest::newRow("COM0") << 0 << "";
        QTest::newRow("negative") << -1 << "";
    }
    void portNumbers() {
        QFETCH(int, port);
        QFETCH(QString, path);
        store_.write("Ports", "COM2", "/dev/ttyUSB0");
        store_.write("Ports", "COM4", "");
        store_.write("Settings", "COM12", "/dev/ttyACM0");
        QVERIFY(comm_->setCommPort(7));
        QCOMPARE(comm_->setCommPort(port), !path.isEmpty());
        QCOMPARE(comm_->commPort(), path.isEmpty() ? 7 : port);
        QCOMPARE(QString::fromStdString(comm_->devicePath()), path.isEmpty() ? "/dev/ttyS6" : path);
    }

    void openFails_data() {
        QTest::addColumn<QString>("device");
        QTest::newRow("missing device") << "/nonexistent/ttyKV";
        QTest::newRow("not a serial port") << "/dev/null";
        QTest::newRow("regular file") << "FILE";
        QTest::newRow("directory") << "/tmp";
    }
    void openFails() {
        QFETCH(QString, device);
        QTemporaryFile file;
        QVERIFY(file.open());
        store_.write("Ports", "COM2", (device == "FILE" ? file.fileName() : device).toStdString());
        QVERIFY(comm_->setCommPort(2));
        QVERIFY(!comm_->setPortOpen(true));
        QVERIFY(!comm_->lastError().empty());
        QVERIFY(comm_->input().empty());
        comm_->output("abc");
        QCOMPARE(file.size(), 0);
    }

    // Held by another control, under the same or another name, or by another program.
    void busyPort() {
        QTemporaryDir dir;
        store_.write("Ports", "COM2", linkTo(dir, pty_->slavePath()));
        QVERIFY(openComm());
        kv::SerialComm other(store_);
        for (int port : {1, 2}) {
            QVERIFY(other.setCommPort(port));
            QVERIFY(!other.setPortOpen(true));
            QVERIFY(!other.lastError().empty());
        }
        verifyRoundTrip("still mine");
        QVERIFY(comm_->setPortOpen(false));
        QVERIFY(other.setPortOpen(true));
        QVERIFY(other.setPortOpen(false));

        QProcess holder;  // holds the lock until its input ends
        holder.start("flock", {"--nonblock", "--close", QString::fromStdString(pty_->slavePath()),
                               "-c", "echo locked; exec cat"});
        QVERIFY(holder.waitForReadyRead(5000));
        QVERIFY(!comm_->setPortOpen(true));
        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(5000));
        QVERIFY(openComm());
    }

    void closedPortDoesNothing() {
        for (bool wasOpen : {false, true}) {
            if (wasOpen) QVERIFY(openComm() && comm_->setPortOpen(false));
            comm_->output("abc");
            comm_->clearOutBuffer();
            comm_->setRtsEnable(false);
            QVERIFY(pty_->read(1, 20ms).empty());
            pty_->write("xyz");
            QVERIFY(!comm_->waitForInput(0ms));
            QVERIFY(comm_->input().empty());
        }
    }

    void clearOutBufferDiscardsUnsentBytes() {
        QVERIFY(openComm());
        // More than the pseudo-terminal holds, so part of it still waits to be sent.
        comm_->output(std::string(1 << 20, 'x'));
        comm_->clearOutBuffer();
        comm_->output("Z");
        std::string received;
        for (std::string got; !(got = pty_->read(1 << 21, 100ms)).empty();) {
            received += got;
            QCoreApplication::processEvents();
        }
        // What the far end had already taken in was sent; everything behind it is gone.
        QVERIFY2(received.size() <= 64 * 1024, QByteArray::number(qsizetype(received.size())));
        QCOMPARE(received.back(), 'Z');
        QCOMPARE(std::count(received.begin(), received.end(), 'x'), qsizetype(received.size()) - 1);
    }

    // input() fetches without the event loop; the receive event waits for the loop and is
    // raised only for bytes still waiting then. Another reader of the device may take the
    // bytes before the port's notifier gets to them; the notifier then finds nothing and
    // reports a read error, with whatever errno a call before left (EIO stops QSerialPort).
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
        const int thief = pty_->slave();
        {
            // Registered before the port opens, so it is served first.
            QSocketNotifier notifier(thief, QSocketNotifier::Read);
            connect(&notifier, &QSocketNotifier::activated, this, [&] {
                std::array<char, 64> chunk;
                while (::read(thief, chunk.data(), chunk.size()) > 0) {
                }
                if (staleErrno) errno = staleErrno;
            });
            QVERIFY(openComm());
            pty_->write("stolen");
            QTest::qWait(50);
        }
        pty_->write("\xCC\x01");
        QVERIFY(comm_->waitForInput(2000ms));
        QCOMPARE(bytes(comm_->input()), QByteArray("\xCC\x01"));
        QTest::qWait(20);
        QCOMPARE(raised, 0);  // nothing left waiting
        pty_->write("\x21\x02");
        std::this_thread::sleep_for(20ms);
        QCOMPARE(raised, 0);  // not before the event loop runs
        QTRY_COMPARE(bytes(seen), QByteArray("\x21\x02"));
        QCOMPARE(raised, 1);
        QVERIFY(comm_->portOpen() && !comm_->portLost());
    }

    // The port closes once, the idle event loop stays idle, and it opens again when the
    // device is back under the same name.
    void vanishedDeviceClosesThePortAndReopens() {
        QTemporaryDir dir;
        store_.write("Ports", "COM3", linkTo(dir, pty_->slavePath()));
        QVERIFY(comm_->setCommPort(3));
        int lost = 0;
        comm_->setOnPortLost([&] { ++lost; });
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
        QVERIFY(!comm_->portOpen());
        QVERIFY(comm_->portLost());
        QCOMPARE(lost, 1);
        QVERIFY(!comm_->lastError().empty());
        // A loop kept busy by the dead device wakes thousands of times; an idle one a few.
        QVERIFY2(wakeUps < 100, qPrintable(QString::number(wakeUps)));
        comm_->output("x");
        QVERIFY(comm_->input().empty());
        QVERIFY(!comm_->setPortOpen(true));  // the link points nowhere now

        pty_ = std::make_unique<Pty>();  // the adapter is plugged in again
        QVERIFY(pty_->ok());
        linkTo(dir, pty_->slavePath());
        QVERIFY(openComm());
        QVERIFY(!comm_->portLost());
        verifyRoundTrip("back");
    }
};

QTEST_GUILESS_MAIN(TestSerialComm)
#include "test_serial_comm.moc"
