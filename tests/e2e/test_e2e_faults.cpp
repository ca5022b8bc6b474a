// One analyzer window through every fault a radio and its line can have, one after another:
// a radio dead from the start, single bad replies of each kind, five silent seconds, a device
// that vanishes and comes back as another device, and a radio that floods the line. Each time
// the failure message shows, the recovery sequence goes out on the wire, the point that failed
// is measured again and the message goes.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QtTest>
#include <array>
#include <atomic>
#include <thread>

#include "e2e_rig.h"

using namespace kv;
using namespace kv::e2e;

namespace {

// Holds the pseudo-terminal that has the old device's name, so that the returning device
// cannot get it. It is left locked, so that nothing can open it.
class HeldName {
  public:
    explicit HeldName(const QString& name) {
        // New terminals take the lowest free number; other programs' may come first.
        std::vector<int> others;
        for (int i = 0; i < 64 && fd_ < 0; ++i) {
            const int fd = ::posix_openpt(O_RDWR | O_NOCTTY);
            if (fd < 0) break;
            if (name == ::ptsname(fd))
                fd_ = fd;
            else
                others.push_back(fd);
        }
        for (int fd : others) ::close(fd);
    }
    ~HeldName() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

// A pseudo-terminal whose far end writes bytes as fast as the line takes them and drops
// whatever the program sends.
class Flooder {
  public:
    Flooder() : master_(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK)) {
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0)
            path_ = ::ptsname(master_);
    }
    ~Flooder() {
        running_ = false;
        if (thread_.joinable()) thread_.join();
        if (master_ >= 0) ::close(master_);
    }
    const std::string& devicePath() const { return path_; }
    std::size_t sent() const { return sent_; }
    void start() {
        running_ = true;
        thread_ = std::thread([this] {
            std::array<char, 4096> junk;
            junk.fill('\xAA');
            while (running_) {
                while (::read(master_, junk.data(), junk.size()) > 0) junk.fill('\xAA');
                const ssize_t n = ::write(master_, junk.data(), junk.size());
                pollfd p{master_, POLLOUT, 0};
                if (n > 0)
                    sent_ += static_cast<std::size_t>(n);
                else
                    ::poll(&p, 1, 10);
            }
        });
    }

  private:
    int master_;
    std::string path_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<std::size_t> sent_{0};
};

// Control commands of the simulator, each a fault the program must recover from.
const QStringList kFaults{"fault wrong-echo",  "fault extra-echo", "fault garbage",
                          "fault short-level", "fault pause",      "dead 5000"};

}  // namespace

class TestE2eFaults : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void recoversFromEveryFault() {
        Rig rig;
        QVERIFY(rig.start({"--fault", "dead:0"}));
        const QString firstDevice = rig.sim.devicePath();
        MainWindow& w = rig.open();
        Checks checks;
        Script script;
        script.then("failure message shown", [&] { return rig.messageShown(); })
            .then("retry loop gone round once",
                  [&] {
                      checks.expect(rig.messageShown(), "message stays up during the retries");
                      return sendsToRadio(rig.wire()).size() >= 4;
                  })
            .thenDo("radio comes alive",
                    [&] {
                        QCOMPARE(rig.sim.command("alive"), QString("ok"));
                        rig.markSweep();
                    })
            .then("recovered", [&] { return rig.messageGone() && rig.sweptSinceMark(); });
        std::vector<std::size_t> faultsAt;
        double silentAt = 0;
        for (const QString& fault : kFaults) {
            script
                .thenDo(fault,
                        [&, fault] {
                            faultsAt.push_back(rig.wire().size());
                            silentAt = monotonicMs();
                            QCOMPARE(rig.sim.command(fault), QString("ok"));
                            rig.markSweep();
                        })
                .then(fault + ": message shown", [&] { return rig.messageShown(); })
                .then(fault + ": recovered", [&, fault] {
                    if (!rig.messageGone() || !rig.sweptSinceMark()) return false;
                    checks.expect(!fault.startsWith("dead") || monotonicMs() - silentAt >= 5000,
                                  "no sweep ends while the radio is silent");
                    return true;
                });
        }
        // Unplugged: the port is lost, the program does not spin while the device is gone,
        // and it reopens the port and sweeps again once the device is back.
        std::unique_ptr<HeldName> holder;
        double goneCpu = 0;
        double goneSince = 0;
        QString returnedDevice;
        script
            .thenDo("unplug",
                    [&] {
                        QCOMPARE(rig.sim.command("vanish"), QString("ok"));
                        // As the system removes a device's link when it is unplugged.
                        QVERIFY(QFile::remove(rig.sim.linkPath()));
                    })
            .then("port lost, message shown",
                  [&] { return rig.comm.portLost() && !rig.comm.portOpen() && rig.messageShown(); })
            .thenDo("measure the time used while gone",
                    [&] {
                        holder = std::make_unique<HeldName>(firstDevice);
                        goneSince = monotonicMs();
                        goneCpu = processCpuSeconds();
                    })
            .then("gone for two seconds",
                  [&] {
                      checks.expect(rig.messageShown(), "message stays while the device is gone");
                      checks.expect(!rig.comm.portOpen(), "port stays closed while gone");
                      if (monotonicMs() - goneSince < 2000) return false;
                      goneCpu = processCpuSeconds() - goneCpu;
                      return true;
                  })
            .thenDo("plug back in",
                    [&] {
                        returnedDevice = rig.sim.command("return");
                        rig.markSweep();
                    })
            .then("reopened, sweeping, message gone",
                  [&] { return rig.comm.portOpen() && rig.sweptSinceMark() && rig.messageGone(); })
            .thenDo("Exit", [&] {
                faultsAt.push_back(rig.wire().size());
                rig.store.writes.clear();
                w.findChild<QAction*>("Main_Exit")->trigger();
            });
        QVERIFY2(script.run(w, 120000), qPrintable(script.stoppedAt()));
        QVERIFY2(checks.ok(), qPrintable(checks.report()));
        const auto log = rig.wire();

        // Dead from the start: command mode is asked for again and again, each attempt after
        // its 2000 ms reply time, with nothing sent in between.
        const auto sends = sendsToRadio(log);
        const std::vector<QByteArray> retries{wire::kEnter, wire::kEnter, wire::kExit,
                                              wire::kEnter};
        for (std::size_t i = 0; i < retries.size(); ++i) {
            QCOMPARE(sends[i].bytes, retries[i]);
            if (i > 0) QVERIFY(sends[i].ms - sends[i - 1].ms >= 1900);
        }

        // Each fault: the radio taken out of command mode and put back in, then the point that
        // failed measured again and the sweep going on from there.
        const QByteArray all = bytesToRadio(log);
        for (std::size_t i = 0; i < std::size_t(kFaults.size()); ++i) {
            const QString what = kFaults[int(i)];
            const qsizetype enter =
                all.indexOf(wire::kEnter, all.size() - bytesToRadio(log, faultsAt[i]).size());
            QVERIFY2(enter > 0, qPrintable(what));
            const int point = static_cast<unsigned char>(all[all.lastIndexOf('\xB1', enter) + 1]);
            const qsizetype confirm = all.indexOf(wire::kConfirm, enter);
            QVERIFY2(containsInOrder(all.mid(enter, confirm + 2 - enter),
                                     {wire::kEnter, wire::kExit, wire::kResume, wire::kEnter}),
                     qPrintable(what));
            QVERIFY2(all.mid(confirm + 2)
                         .startsWith(wire::channel(point) + wire::kLevel +
                                     wire::channel((point + 1) % 50)),
                     qPrintable(what));
            if (what.startsWith("fault ")) QCOMPARE(rig.sim.stat(what.mid(6)), 1);
        }

        QVERIFY(holder && holder->held());
        QVERIFY(returnedDevice.startsWith("/dev/") && returnedDevice != firstDevice);
        // Loose: a spinning wait would use the whole two seconds.
        QVERIFY2(goneCpu < 0.5, qPrintable(QString::number(goneCpu)));
        // The unplugged radio forgot its mode: the program put it back into command mode.
        QVERIFY(containsInOrder(bytesToRadio(log, findEvent(log, "returned")),
                                {wire::kEnter, wire::kConfirm, wire::kLevel}));

        // Exit ends the sweep, asks the radio to leave command mode and saves the five keys.
        const auto atExit = sendsToRadio(log, faultsAt.back());
        QVERIFY(!atExit.empty());
        QCOMPARE(atExit.front().bytes, wire::kExit);
        QCOMPARE(rig.store.writes.size(), std::size_t{5});
        QVERIFY(!rig.comm.portOpen());
    }

    // A radio that floods the line: the receive buffer stays bounded, the failure message
    // shows, and Exit ends the sweep.
    void floodingRadio() {
        Flooder flooder;
        QVERIFY(!flooder.devicePath().empty());
        Rig rig;
        rig.store.values[{"Ports", "COM1"}] = flooder.devicePath();
        MainWindow& w = rig.open();
        QVERIFY(rig.comm.portOpen());
        std::size_t largestBuffer = 0;
        double floodSince = 0;
        Script script;
        script
            .thenDo("flood",
                    [&] {
                        floodSince = monotonicMs();
                        flooder.start();
                    })
            .then("three seconds of flood, message shown",
                  [&] {
                      largestBuffer = std::max(largestBuffer, rig.state().receiveBuffer.size());
                      return monotonicMs() - floodSince > 3000 && rig.messageShown();
                  })
            .thenDo("Exit", [&] { w.findChild<QAction*>("Main_Exit")->trigger(); });
        QVERIFY2(script.run(w, 30000), qPrintable(script.stoppedAt()));
        qInfo("%zu bytes flooded; largest receive buffer %zu bytes", flooder.sent(), largestBuffer);
        QVERIFY(flooder.sent() > 100000);
        QVERIFY(largestBuffer <= 4096);
    }
};

QTEST_MAIN(TestE2eFaults)
#include "test_e2e_faults.moc"
