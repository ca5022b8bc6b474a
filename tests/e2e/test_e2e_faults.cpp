// One analyzer window through every fault of a radio and its line, one after another: dead from
// the start, single bad replies of each kind, three silent seconds, a device that vanishes and
// comes back as another. Each time the failure message shows, the recovery sequence goes out,
// the point that failed is measured again and the message goes.
#include <fcntl.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QtTest>

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
        Script script;
        script.then("failure message shown", [&] { return rig.messageShown(); })
            .then("retry loop gone round once",
                  [&] {
                      script.expect(rig.messageShown(), "message stays up during the retries");
                      return rig.sent().startsWith(wire::kEnter + wire::kEnter + wire::kExit +
                                                   wire::kEnter);
                  })
            .thenDo("radio comes alive", [&] { rig.sim.command("alive"), rig.markSweep(); })
            .then("recovered", [&] { return rig.messageGone() && rig.sweptSinceMark(); });
        std::vector<qsizetype> marks;  // where the bytes of each fault, the return and Exit begin
        QElapsedTimer since;
        for (const QString& fault : kFaults) {
            script
                .thenDo(fault,
                        [&, fault] {
                            marks.push_back(rig.sent().size());
                            since.start();
                            rig.sim.command(fault);
                            rig.markSweep();
                        })
                .then(fault + ": message shown", [&] { return rig.messageShown(); })
                .then(fault + ": recovered", [&, fault] {
                    if (!rig.messageGone() || !rig.sweptSinceMark()) return false;
                    script.expect(!fault.startsWith("dead") || since.elapsed() >= 3000,
                                  "no sweep ends while the radio is silent");
                    return true;
                });
        }
        // Unplugged: the port is lost, stays closed while the device is gone, and is reopened
        // (about once a second) once the device is back under another name.
        std::unique_ptr<HeldName> holder;
        QString returnedDevice;
        script
            .thenDo("unplug",
                    [&] {
                        rig.sim.command("vanish");
                        QFile::remove(rig.sim.linkPath());  // as the system does on unplugging
                    })
            .then("port lost, message shown",
                  [&] { return rig.comm.portLost() && !rig.comm.portOpen() && rig.messageShown(); })
            .thenDo("gone",
                    [&] {
                        holder = std::make_unique<HeldName>(firstDevice);
                        since.start();
                    })
            .then("gone for a while",
                  [&] {
                      script.expect(rig.messageShown() && !rig.comm.portOpen(),
                                    "message up and port closed while the device is gone");
                      return since.elapsed() >= 1500;
                  })
            .thenDo("plug back in",
                    [&] {
                        marks.push_back(rig.sent().size());
                        returnedDevice = rig.sim.command("return");
                        rig.markSweep();
                    })
            .then("reopened, sweeping, message gone",
                  [&] { return rig.comm.portOpen() && rig.sweptSinceMark() && rig.messageGone(); })
            .thenDo("radio dies, Exit", [&] {
                rig.sim.command("dead 0");
                marks.push_back(rig.sent().size());
                rig.store.writes.clear();
                rig.window().findChild<QAction*>("Main_Exit")->trigger();
            });
        QVERIFY2(script.run(rig.open(), 120000), qPrintable(script.report()));

        // Each fault: the radio taken out of command mode and put back in, then the point that
        // failed measured again and the sweep going on from there.
        const QByteArray all = rig.sent();
        for (qsizetype i = 0; i < kFaults.size(); ++i) {
            const qsizetype enter = all.indexOf(wire::kEnter, marks[std::size_t(i)]);
            QVERIFY2(enter > 0, qPrintable(kFaults[i]));
            const int point = static_cast<unsigned char>(all[all.lastIndexOf('\xB1', enter) + 1]);
            const qsizetype confirm = all.indexOf(wire::kConfirm, enter);
            QVERIFY2(containsInOrder(all.mid(enter, confirm + 2 - enter),
                                     {wire::kEnter, wire::kExit, wire::kResume, wire::kEnter}),
                     qPrintable(kFaults[i]));
            QVERIFY2(all.mid(confirm + 2)
                         .startsWith(wire::channel(point) + wire::kLevel +
                                     wire::channel((point + 1) % 50)),
                     qPrintable(kFaults[i]));
        }

        QVERIFY(returnedDevice.startsWith("/dev/") && returnedDevice != firstDevice);
        // The unplugged radio forgot its mode: the program put it back into command mode.
        QVERIFY(containsInOrder(all.mid(marks[std::size_t(kFaults.size())]),
                                {wire::kEnter, wire::kConfirm, wire::kLevel}));

        // Exit on a dead radio ends the sweep, sends the exit once and saves the five keys.
        // Exit is chosen inside a reply wait, so the command sent just before it (three bytes
        // at most) may reach the simulator's log after the mark.
        const QByteArray atExit = all.mid(marks.back());
        QVERIFY2(atExit.endsWith(wire::kExit) && atExit.size() <= 4, atExit.toHex(' ').constData());
        QCOMPARE(rig.store.writes.size(), std::size_t{5});
        QVERIFY(!rig.comm.portOpen());
    }
};

QTEST_MAIN(TestE2eFaults)
#include "test_e2e_faults.moc"
