#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QElapsedTimer>
#include <QProcess>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>
#include <chrono>
#include <numeric>
#include <thread>

#include "serial_comm.h"

using namespace std::chrono_literals;

namespace {

QByteArray bytes(const std::string& s) {
    return QByteArray::fromStdString(s);
}

// A pseudo-terminal: the test plays the radio on the master side, the port under test
// opens the slave.
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
        while (!data.empty()) {
            const ssize_t n = ::write(master_, data.data(), data.size());
            if (n > 0) data.remove_prefix(static_cast<std::size_t>(n));
            pollfd p{master_, POLLOUT, 0};
            if (!data.empty()) ::poll(&p, 1, 100);
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

std::string everyByteValue() {
    std::string all(256, '\0');
    std::iota(all.begin(), all.end(), '\0');
    return all;
}

std::string readAtLeast(kv::SerialComm& comm, std::size_t count) {
    std::string got;
    while (got.size() < count && comm.waitForInput(2000ms)) got += comm.input();
    return got;
}

double cpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

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
    void verifyRoundTrip(const std::string& out, const std::string& in) {
        comm_->output(out);
        QCOMPARE(bytes(pty_->read(out.size())), bytes(out));
        pty_->write(in);
        QCOMPARE(bytes(readAtLeast(*comm_, in.size())), bytes(in));
    }

  private slots:
    void init() {
        pty_ = std::make_unique<Pty>();
        QVERIFY(pty_->ok());
        store_ = {};
        store_.write("Ports", "COM1", pty_->slavePath());
        comm_ = std::make_unique<kv::SerialComm>(store_);
        QVERIFY(comm_->setCommPort(1));
        QCOMPARE(comm_->devicePath(), pty_->slavePath());
    }
    void cleanup() {
        comm_.reset();
        pty_.reset();
    }

    void everyByteValuePassesBothWays() {
        QVERIFY(comm_->setSettings("115200,n,8,1"));
        QVERIFY(openComm());
        // No event-loop turn in between: output() must have sent, input() must fetch.
        verifyRoundTrip(everyByteValue(), everyByteValue());
    }

    void rates_data() {
        QTest::addColumn<int>("rate");
        QTest::addColumn<bool>("setWhileOpen");
        for (int rate : {110, 14400, 28800, 115200}) {
            QTest::addRow("%d set while open", rate) << rate << true;
            QTest::addRow("%d set before open", rate) << rate << false;
        }
    }
    void rates() {
        QFETCH(int, rate);
        QFETCH(bool, setWhileOpen);
        const std::string text = std::to_string(rate) + ",n,8,1";
        if (setWhileOpen) QVERIFY(openComm());
        QVERIFY2(comm_->setSettings(text), comm_->lastError().c_str());
        if (!setWhileOpen) QVERIFY(openComm());
        QCOMPARE(comm_->settings(), text);
        verifyRoundTrip("\xB1\x07\x00", std::string("\xB1\x07\x00", 3));
    }

    void rejectedSettingsReachTheCaller_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("open");
        for (bool open : {false, true}) {
            const char* state = open ? "open" : "closed";
            QTest::addRow("empty parity letter, %s", state) << "115200,,8,1" << open;
            QTest::addRow("unknown parity, %s", state) << "115200,x,8,1" << open;
            QTest::addRow("missing field, %s", state) << "115200,n,8" << open;
            QTest::addRow("1.5 stop bits with 8 data bits, %s", state) << "9600,n,8,1.5" << open;
        }
    }
    void rejectedSettingsReachTheCaller() {
        QFETCH(QString, text);
        QFETCH(bool, open);
        QVERIFY(comm_->setSettings("19200,n,8,1"));
        if (open) QVERIFY(openComm());
        QVERIFY(!comm_->setSettings(text.toStdString()));
        QVERIFY(!comm_->lastError().empty());
        QCOMPARE(comm_->settings(), std::string("19200,n,8,1"));
        QCOMPARE(comm_->portOpen(), open);
        if (!open) QVERIFY(openComm());
        verifyRoundTrip("ok", "ok");
    }

    void rtsOffKeepsThePortOpen() {
        QVERIFY(openComm());
        comm_->setHandshaking(0);
        comm_->setRtsEnable(true);
        comm_->setRtsEnable(false);  // a pseudo-terminal has no modem lines
        QTest::qWait(50);
        QVERIFY(comm_->portOpen());
        QVERIFY(!comm_->portLost());
        verifyRoundTrip("\x21\x02", "\xCC");
    }

    void clearOutBufferDiscardsUnsentBytes() {
        QVERIFY(openComm());
        // More than the pseudo-terminal holds, so part of it still waits to be sent.
        comm_->output(std::string(1 << 20, 'x'));
        comm_->clearOutBuffer();
        comm_->output("Z");
        QTest::qWait(20);
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
        QVERIFY(!comm_->portOpen());
        QVERIFY(!comm_->lastError().empty());
        QVERIFY(comm_->input().empty());
        comm_->output("abc");
        QCOMPARE(file.size(), 0);
    }

    void commPortRange_data() {
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("0") << 0 << false;
        QTest::newRow("-1") << -1 << false;
        QTest::newRow("256") << 256 << false;
        QTest::newRow("1") << 1 << true;
        QTest::newRow("255") << 255 << true;
    }
    void commPortRange() {
        QFETCH(int, port);
        QFETCH(bool, accepted);
        QVERIFY(comm_->setCommPort(7));
        QCOMPARE(comm_->setCommPort(port), accepted);
        QCOMPARE(comm_->commPort(), accepted ? port : 7);
    }

    void portInUseByAnotherControl() {
        QTemporaryDir dir;
        const std::string link = dir.filePath("radio").toStdString();
        QCOMPARE(::symlink(pty_->slavePath().c_str(), link.c_str()), 0);
        store_.write("Ports", "COM2", link);
        QVERIFY(openComm());
        kv::SerialComm other(store_);
        QVERIFY(other.setCommPort(1));
        QVERIFY(!other.setPortOpen(true));
        QVERIFY(!other.lastError().empty());
        QVERIFY(other.setCommPort(2));  // the same device by another name
        QVERIFY(!other.setPortOpen(true));
        verifyRoundTrip("still mine", "still mine");
        QVERIFY(comm_->setPortOpen(false));
        QVERIFY(other.setPortOpen(true));
    }

    void portInUseByAnotherProgram() {
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
            if (wasOpen) {
                QVERIFY(openComm());
                QVERIFY(comm_->setPortOpen(false));
            }
            comm_->output("abc");
            comm_->clearOutBuffer();
            comm_->setRtsEnable(false);
            comm_->setHandshaking(0);
            QVERIFY(pty_->read(1, 20ms).empty());
            pty_->write("xyz");
            QVERIFY(!comm_->waitForInput(0ms));
            QVERIFY(comm_->input().empty());
            QVERIFY(!comm_->portOpen());
        }
    }

    void inputFetchesWithoutEventLoopAndOnCommWaitsForIt() {
        int raised = 0;
        std::string seenByHandler;
        comm_->setOnComm([&] {
            ++raised;
            seenByHandler += comm_->input();
        });
        QVERIFY(openComm());
        pty_->write("\xCC\x01");
        QVERIFY(comm_->waitForInput(2000ms));
        QCOMPARE(bytes(comm_->input()), QByteArray("\xCC\x01"));
        QCOMPARE(raised, 0);
        QTest::qWait(20);
        QCOMPARE(raised, 0);  // nothing left waiting

        pty_->write("\x21\x02");
        std::this_thread::sleep_for(20ms);
        QCOMPARE(raised, 0);  // not before the event loop runs
        QTRY_COMPARE(bytes(seenByHandler), QByteArray("\x21\x02"));
        QCOMPARE(raised, 1);
    }

    // Another reader of the device takes the bytes before QSerialPort's notifier gets to
    // them, as input() does; the notifier then finds nothing and reports a read error,
    // with whatever errno a call before left behind (EIO makes QSerialPort stop reading).
    void aWakeUpThatFindsNothingKeepsThePortWorking_data() {
        QTest::addColumn<int>("staleErrno");
        QTest::newRow("no stale errno") << 0;
        QTest::newRow("stale EIO") << EIO;
    }
    void aWakeUpThatFindsNothingKeepsThePortWorking() {
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
        QVERIFY(comm_->portOpen());
        QVERIFY(!comm_->portLost());
        pty_->write("\xCC");
        QTRY_COMPARE(bytes(seen), QByteArray("\xCC"));
        QCOMPARE(raised, 1);
    }

    void waitForInputWaitsAtMostTheLimit() {
        QVERIFY(openComm());
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!comm_->waitForInput(30ms));
        QVERIFY(clock.elapsed() >= 29);

        std::thread radio([this] {
            std::this_thread::sleep_for(30ms);
            pty_->write("\xCC");
        });
        clock.restart();
        const bool arrived = comm_->waitForInput(5000ms);
        const qint64 waited = clock.elapsed();
        radio.join();
        QVERIFY(arrived);
        QVERIFY2(waited < 4000, QByteArray::number(waited));
        QCOMPARE(bytes(comm_->input()), QByteArray("\xCC"));
    }

    void vanishedDeviceClosesThePortAndReopens() {
        QTemporaryDir dir;
        const std::string link = dir.filePath("radio").toStdString();
        QCOMPARE(::symlink(pty_->slavePath().c_str(), link.c_str()), 0);
        store_.write("Ports", "COM3", link);
        QVERIFY(comm_->setCommPort(3));
        int lost = 0;
        comm_->setOnPortLost([&] { ++lost; });
        QVERIFY(openComm());

        pty_->hangUp();
        QVERIFY(!comm_->waitForInput(10ms));  // a hung-up device has nothing to read
        const double cpuBefore = cpuSeconds();
        QElapsedTimer wall;
        wall.start();
        int wakeUps = 0;
        const auto counter = connect(QAbstractEventDispatcher::instance(),
                                     &QAbstractEventDispatcher::awake, this, [&] { ++wakeUps; });
        QEventLoop loop;  // the application's loop, which sleeps only when nothing is due
        QTimer::singleShot(300, &loop, &QEventLoop::quit);
        loop.exec();
        const double cpu = cpuSeconds() - cpuBefore;
        const double elapsed = static_cast<double>(wall.elapsed()) / 1000;
        disconnect(counter);
        qInfo("after the loss: %.0f ms of CPU in %.0f ms, %d event-loop wake-ups", cpu * 1000,
              elapsed * 1000, wakeUps);
        QVERIFY(!comm_->portOpen());
        QVERIFY(comm_->portLost());
        QCOMPARE(lost, 1);
        QVERIFY(!comm_->lastError().empty());
        // A loop kept busy by the dead device wakes thousands of times; an idle one a few.
        QVERIFY(wakeUps < 100);
        QVERIFY(cpu < 0.8 * elapsed);
        comm_->output("x");
        QVERIFY(comm_->input().empty());
        QVERIFY(!comm_->setPortOpen(true));  // the link points nowhere now
        QVERIFY(comm_->portLost());

        pty_ = std::make_unique<Pty>();  // the adapter is plugged in again
        QVERIFY(pty_->ok());
        QCOMPARE(::unlink(link.c_str()), 0);
        QCOMPARE(::symlink(pty_->slavePath().c_str(), link.c_str()), 0);
        QVERIFY(openComm());
        QVERIFY(!comm_->portLost());
        verifyRoundTrip("back", "back");
    }
};

QTEST_GUILESS_MAIN(TestSerialComm)
#include "test_serial_comm.moc"
