// A radio that floods the line with bytes without pause: the program keeps its receive buffer
// and its memory bounded, shows the failure message, answers keys and exits at once.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QtTest>
#include <array>
#include <atomic>
#include <cstdlib>
#include <thread>

#include "e2e_rig.h"
#include "surface_view.h"

using namespace kv;
using namespace kv::e2e;
using namespace std::chrono_literals;

namespace {

// A pseudo-terminal whose far end writes bytes as fast as the line takes them.
class Flooder {
  public:
    Flooder() : master_(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK)) {
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
        path_ = ::ptsname(master_);
    }
    ~Flooder() {
        stop();
        if (master_ >= 0) ::close(master_);
    }
    const std::string& devicePath() const { return path_; }

    void start() {
        running_ = true;
        thread_ = std::thread([this] {
            std::array<char, 4096> junk;
            junk.fill('\xAA');
            std::array<char, 256> sink;
            while (running_) {
                // Whatever the program sends is read and dropped.
                while (::read(master_, sink.data(), sink.size()) > 0) {
                }
                const ssize_t n = ::write(master_, junk.data(), junk.size());
                if (n > 0) {
                    sent_ += static_cast<std::size_t>(n);
                } else {
                    pollfd p{master_, POLLOUT, 0};
                    ::poll(&p, 1, 10);
                }
            }
        });
    }
    void stop() {
        if (!running_) return;
        running_ = false;
        thread_.join();
    }
    std::size_t sent() const { return sent_; }

  private:
    int master_;
    std::string path_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<std::size_t> sent_{0};
};

long residentKiB() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').front().toLong();
    return -1;
}

}  // namespace

class TestE2eFloodingRadio : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void staysBoundedAndResponsive() {
        Flooder flooder;
        QVERIFY(!flooder.devicePath().empty());
        Rig rig;
        rig.store.values[{"Ports", "COM1"}] = flooder.devicePath();
        MainWindow& w = rig.open();
        QVERIFY(rig.comm.portOpen());
        KeyProbe probe(w.view(), Qt::Key_F7, 100ms);
        std::size_t largestBuffer = 0;
        long residentAtStart = 0;
        double floodSince = 0;
        double exitAt = 0;
        Script script;
        script
            .thenDo("flood",
                    [&] {
                        residentAtStart = residentKiB();
                        floodSince = monotonicMs();
                        flooder.start();
                        probe.start();
                    })
            .then("five seconds of flood, message shown",
                  [&] {
                      largestBuffer = std::max(largestBuffer, rig.state().receiveBuffer.size());
                      return monotonicMs() - floodSince > 5000 && rig.messageShown();
                  })
            .thenDo("Exit", [&] {
                exitAt = monotonicMs();
                w.findChild<QAction*>("Main_Exit")->trigger();
            });
        QVERIFY2(script.run(w, 30000), qPrintable(script.stoppedAt()));
        const double exitMs = monotonicMs() - exitAt;
        probe.stop();
        flooder.stop();
        const long grownKiB = residentKiB() - residentAtStart;
        qInfo(
            "%zu bytes flooded; largest receive buffer %zu bytes; resident memory grew %ld KiB; "
            "worst key wait %.1f ms; exit %.1f ms",
            flooder.sent(), largestBuffer, grownKiB, probe.worstMs(), exitMs);
        QVERIFY(flooder.sent() > 1000000);
        QVERIFY(largestBuffer <= 64 * 1024);
#ifndef __SANITIZE_ADDRESS__
        // (AddressSanitizer holds freed memory back for a while, so there the figure says nothing.)
        QVERIFY(grownKiB < 32 * 1024);
#endif
        QVERIFY(probe.delivered() >= 20);
        QVERIFY2(probe.worstMs() < 100, qPrintable(QString::number(probe.worstMs())));
        QVERIFY(exitMs < 2000);
    }
};

QTEST_MAIN(TestE2eFloodingRadio)
#include "test_e2e_flooding_radio.moc"
