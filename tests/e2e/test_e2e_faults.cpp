// One analyzer window through every fault a radio and its line can have, one after another:
// a radio dead from the start, single bad replies of each kind, three silent seconds, a device
// that vanishes and comes back as another device; and a radio that floods the line. Each time
// the failure message shows, the recovery sequence goes out on the wire, the point that failed
// is measured again and the message goes.
#include <fcntl.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QtTest>
#include <ctime>

#include "e2e_rig.h"

using namespace kv;
using namespace kv::e2e;

namespace {

// Holds the pseudo-terminal that has the old device's name (new ones take the lowest free
// number), so that the returning device cannot get it. Left locked: nothing can open it. When
// another process took the name first, the device returns under another name all the same.
struct HeldName {
    explicit HeldName(const QString& name) {
        std::vector<int> others;
        for (int fd = 0; fd >= 0 && fd_ < 0 && others.size() < 64;) {
            fd = ::posix_openpt(O_RDWR | O_NOCTTY);
            (fd >= 0 && name == ::ptsname(fd) ? fd_ : others.emplace_back()) = fd;
        }
        for (int fd : others) ::close(fd);
    }
    ~HeldName() { ::close(fd_); }
    int fd_ = -1;
};

// Control commands of the simulator, each a fault the program must recover from.
// A fault hits the next command, which is a level command when the step runs inside an echo
// wait; garbage before a level reply goes unnoticed, so it hits two commands, one a channel.
const QStringList kFaults{"fault wrong-echo",  "fault extra-echo", "fault garbage 2",
                          "fault short-level", "fault pause",      "dead 3000"};

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
        Script script;
        script.then("failure message shown", [&] { return rig.messageShown(); })
            .then("retry loop gone round once",
                  [&] {
                      script.expect(rig.messageShown(), "message stays up during the retries");
                      return sendsToRadio(rig.wire()).size() >= 4;
                  })
            .thenDo("radio comes alive",
                    [&] {
                        script.expect(rig.sim.command("alive") == "ok", "alive");
                        rig.markSweep();
                    })
            .then("recovered", [&] { return rig.messageGone() && rig.sweptSinceMark(); });
        std::vector<std::size_t> logAt;  // where each fault, the return and Exit began
        double since = 0;
        for (const QString& fault : kFaults) {
            script
                .thenDo(fault,
                        [&, fault] {
                            logAt.push_back(rig.wire().size());
                            since = monotonicMs();
                            script.expect(rig.sim.command(fault) == "ok", fault);
                            rig.markSweep();
                        })
                .then(fault + ": message shown", [&] { return rig.messageShown(); })
                .then(fault + ": recovered", [&, fault] {
                    if (!rig.messageGone() || !rig.sweptSinceMark()) return false;
                    script.expect(!fault.startsWith("dead") || monotonicMs() - since >= 3000,
                                  "no sweep ends while the radio is silent");
                    return true;
                });
        }
        // Unplugged: the port is lost, the program does not spin while the device is gone,
        // and it reopens the port and sweeps again once the device is back.
        std::unique_ptr<HeldName> holder;
        double cpu = 0;
        QString returnedDevice;
        script
            .thenDo("unplug",
                    [&] {
                        script.expect(rig.sim.command("vanish") == "ok", "vanish");
                        // As the system removes a device's link when it is unplugged.
                        QFile::remove(rig.sim.linkPath());
                    })
            .then("port lost, message shown",
                  [&] { return rig.comm.portLost() && !rig.comm.portOpen() && rig.messageShown(); })
            .thenDo("gone",
                    [&] {
                        holder = std::make_unique<HeldName>(firstDevice);
                        since = monotonicMs();
                        cpu = double(std::clock()) / CLOCKS_PER_SEC;
                    })
            .then("gone for two seconds",
                  [&] {
                      script.expect(rig.messageShown(), "message stays while the device is gone");
                      script.expect(!rig.comm.portOpen(), "port stays closed while gone");
                      if (monotonicMs() - since < 2000) return false;
                      cpu = double(std::clock()) / CLOCKS_PER_SEC - cpu;
                      return true;
                  })
            .thenDo("plug back in",
                    [&] {
                        logAt.push_back(rig.wire().size());
                        returnedDevice = rig.sim.command("return");
                        rig.markSweep();
                    })
            .then("reopened, sweeping, message gone",
                  [&] { return rig.comm.portOpen() && rig.sweptSinceMark() && rig.messageGone(); })
            .thenDo("radio dies, Exit", [&] {
                script.expect(rig.sim.command("dead 0") == "ok", "dead");
                logAt.push_back(rig.wire().size());
                rig.store.writes.clear();
                w.findChild<QAction*>("Main_Exit")->trigger();
            });
        QVERIFY2(script.run(w, 120000), qPrintable(script.report()));
        const auto log = rig.wire();

        // Dead from the start: command mode is asked for again and again, each attempt after
        // its 2000 ms reply time, with nothing sent in between.
        const auto sends = sendsToRadio(log);
        const std::vector<QByteArray> retries{wire::kEnter, wire::kEnter, wire::kExit,
                                              wire::kEnter};
        for (std::size_t i = 0; i < retries.size(); ++i) {
            QCOMPARE(sends[i].bytes, retries[i]);
            QVERIFY(i == 0 || sends[i].ms - sends[i - 1].ms >= 1900);
        }

        // Each fault: the radio taken out of command mode and put back in, then the point that
        // failed measured again and the sweep going on from there.
        const QByteArray all = bytesToRadio(log);
        for (qsizetype i = 0; i < kFaults.size(); ++i) {
            const QString fault = kFaults[i];
            const qsizetype enter = all.indexOf(
                wire::kEnter, all.size() - bytesToRadio(log, logAt[std::size_t(i)]).size());
            QVERIFY2(enter > 0, qPrintable(fault));
            const int point = static_cast<unsigned char>(all[all.lastIndexOf('\xB1', enter) + 1]);
            const qsizetype confirm = all.indexOf(wire::kConfirm, enter);
            QVERIFY2(containsInOrder(all.mid(enter, confirm + 2 - enter),
                                     {wire::kEnter, wire::kExit, wire::kResume, wire::kEnter}),
                     qPrintable(fault));
            QVERIFY2(all.mid(confirm + 2)
                         .startsWith(wire::channel(point) + wire::kLevel +
                                     wire::channel((point + 1) % 50)),
                     qPrintable(fault));
            if (fault.startsWith("fault "))
                QCOMPARE(rig.sim.stat(fault.section(' ', 1, 1)),
                         qint64(fault.section(' ', 2, 2).isEmpty()
                                    ? 1
                                    : fault.section(' ', 2, 2).toLongLong()));
        }

        QVERIFY(returnedDevice.startsWith("/dev/") && returnedDevice != firstDevice);
        // Loose: a spinning wait would use the whole two seconds.
        QVERIFY2(cpu < 0.5, qPrintable(QString::number(cpu)));
        // The unplugged radio forgot its mode: the program put it back into command mode.
        QVERIFY(containsInOrder(bytesToRadio(log, logAt[std::size_t(kFaults.size())]),
                                {wire::kEnter, wire::kConfirm, wire::kLevel}));

        // Exit on a dead radio ends the sweep, asks the radio once to leave command mode and
        // saves the five keys.
        // Exit is chosen inside a reply wait, so the command sent just before it may reach the
        // simulator's log after the mark, even in one read with the exit; nothing else is sent
        // before the one exit, nor after it.
        const QByteArray atExit = bytesToRadio(log, logAt.back());
        const QByteArray late = atExit.left(atExit.size() - wire::kExit.size());
        QVERIFY2(atExit.endsWith(wire::kExit) &&
                     (late.isEmpty() || late == wire::kLevel ||
                      (late.size() == 3 && late == wire::channel(static_cast<uchar>(late[1])))),
                 atExit.toHex(' ').constData());
        QCOMPARE(rig.store.writes.size(), std::size_t{5});
        QVERIFY(!rig.comm.portOpen());
    }

    // A radio that floods the line: the receive buffer stays bounded and the failure message
    // shows.
    void floodingRadio() {
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
        Rig rig;
        rig.store.values[{"Ports", "COM1"}] = ::ptsname(master);
        MainWindow& w = rig.open();
        const QByteArray junk(4096, '\xAA');
        std::size_t largestBuffer = 0;
        qint64 sent = 0;
        Script script;
        script.then("flood until the message shows", [&] {
            // As much as the line takes.
            for (ssize_t n = 1; n > 0; sent += std::max<ssize_t>(n, 0))
                n = ::write(master, junk.constData(), std::size_t(junk.size()));
            largestBuffer = std::max(largestBuffer, rig.state().receiveBuffer.size());
            return rig.messageShown();
        });
        QVERIFY2(script.run(w, 30000), qPrintable(script.report()));
        ::close(master);
        qInfo("%lld bytes flooded; largest receive buffer %zu bytes", sent, largestBuffer);
        QVERIFY(sent > 100000);
        QVERIFY(largestBuffer <= 4096);
    }
};

QTEST_MAIN(TestE2eFaults)
#include "test_e2e_faults.moc"
