// SPDX-License-Identifier: GPL-3.0-or-later
// The analyzer's window through each kind of fault of a radio and its line: dead from the start,
// a wrong reply, a reply that does not come, three silent seconds, a device that vanishes and
// comes back as another. Each time the failure message shows, the recovery sequence goes out,
// the point that failed is measured again and the message goes. (Every malformed reply is a row
// of the radio's unit test.)
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

// Holds pseudo-terminals up to the one with the old device's name (a new one takes the lowest
// free number), so that the returning device gets another name. Another test running beside
// this one may take the name first.
struct HeldNames {
    explicit HeldNames(const QString& name) {
        while (fds.size() < 64 && !holdsName && (fds.empty() || fds.back() >= 0)) {
            fds.push_back(::posix_openpt(O_RDWR | O_NOCTTY));
            holdsName = fds.back() >= 0 && name == ::ptsname(fds.back());
        }
    }
    ~HeldNames() {
        for (int fd : fds) ::close(fd);
    }
    std::vector<int> fds;
    bool holdsName = false;
};
}  // namespace

class TestE2eFaults : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    // Each row one fault the program must recover from, on a window of its own so that the rows
    // run side by side (each is a test of its own in CTest). A fault is a control command of the
    // simulator and hits the next command, which is a level command when the step runs inside an
    // echo wait.
    void recoversFromFault_data() {
        QTest::addColumn<QString>("fault");
        QTest::newRow("dead-at-start") << QString();
        QTest::newRow("unplugged") << QString();
        QTest::newRow("wrong-echo") << QStringLiteral("fault wrong-echo");
        QTest::newRow("pause") << QStringLiteral("fault pause");
        QTest::newRow("flood") << QStringLiteral("fault flood");
        QTest::newRow("silent") << QStringLiteral("dead 3000");
    }
    void recoversFromFault() {
        QFETCH(QString, fault);
        const bool deadAtStart = qstrcmp(QTest::currentDataTag(), "dead-at-start") == 0;
        const bool unplug = qstrcmp(QTest::currentDataTag(), "unplugged") == 0;
        Rig rig;
        QVERIFY(rig.start(deadAtStart ? QStringList{"--fault", "dead:0"} : QStringList{}));
        const QString firstDevice = rig.sim.devicePath();
        Script script;
        if (deadAtStart)  // the sequence on the wire is checked below
            script.then("failure message shown", [&] { return rig.messageShown(); })
                .thenDo("radio comes alive", [&] { rig.sim.command("alive"), rig.markSweep(); })
                .then("recovered", [&] { return rig.messageGone() && rig.sweptSinceMark(); });
        else
            script.then("swept", [&] { return rig.state().lastSweepEnd != 0; });
        std::vector<qsizetype> marks;  // where the bytes of the fault, the return and Exit begin
        QElapsedTimer since;
        if (!fault.isEmpty())
            script
                .thenDo(fault,
                        [&] {
                            marks.push_back(rig.sent().size());
                            since.start();
                            rig.sim.command(fault);
                            rig.markSweep();
                        })
                .then("message shown", [&] { return rig.messageShown(); })
                .then("recovered", [&] {
                    if (!rig.messageGone() || !rig.sweptSinceMark()) return false;
                    script.expect(!fault.startsWith("dead") || since.elapsed() >= 3000,
                                  "no sweep ends while the radio is silent");
                    return true;
                });
        // Unplugged: the port is lost, stays closed while the device is gone, and is reopened
        // (about once a second) once the device is back under another name. Meanwhile the
        // message names the device as disconnected, not the radio's settings.
        const std::string gone = deviceGoneMessage(rig.sim.linkPath().toStdString());
        std::unique_ptr<HeldNames> holder;
        QString returnedDevice;
        if (unplug)
            script
                .thenDo("unplug",
                        [&] {
                            rig.sim.command("vanish");
                            QFile::remove(rig.sim.linkPath());  // as the system does on unplugging
                        })
                .then("port lost, message shown",
                      [&] {
                          return rig.comm.portLost() && !rig.comm.portOpen() &&
                                 rig.messageShown(gone);
                      })
                .thenDo("gone",
                        [&] {
                            holder = std::make_unique<HeldNames>(firstDevice);
                            since.start();
                        })
                .then("gone for a while",
                      [&] {
                          script.expect(rig.messageShown(gone) && !rig.comm.portOpen(),
                                        "message up and port closed while the device is gone");
                          return since.elapsed() >= 1500;
                      })
                .thenDo("plug back in",
                        [&] {
                            marks.push_back(rig.sent().size());
                            returnedDevice = rig.sim.command("return");
                            rig.markSweep();
                        })
                .then("reopened, sweeping, message gone", [&] {
                    return rig.comm.portOpen() && rig.sweptSinceMark() && rig.messageGone();
                });
        script.thenDo("radio dies, Exit", [&] {
            rig.sim.command("dead 0");
            marks.push_back(rig.sent().size());
            rig.store.writes.clear();
            rig.window().findChild<QAction*>("Main_Exit")->trigger();
        });
        QVERIFY2(script.run(rig.open(), 120000), qPrintable(script.report()));

        // The simulator logs what it reads in its own time.
        QTRY_VERIFY(rig.sent().endsWith(wire::kExit));
        // Dead at the start: command mode asked for twice, then the message and the exit.
        const QByteArray all = rig.sent();
        QVERIFY(!deadAtStart || all.startsWith(wire::kEnter + wire::kEnter + wire::kExit));
        // A fault: the radio taken out of command mode and put back in (more than once when the
        // rest of a flood, late on a busy machine, spoils an exchange of the recovery), then the
        // point that failed measured again and the sweep going on from there.
        if (!fault.isEmpty()) {
            const qsizetype enter = all.indexOf(wire::kEnter, marks.front());
            const int point = static_cast<unsigned char>(all[all.lastIndexOf('\xB1', enter) + 1]);
            const qsizetype resumed = all.indexOf('\xB1', enter);  // no recovery byte is B1
            const QByteArray recovery = all.mid(enter, resumed - enter);
            QVERIFY2(enter > 0 && resumed > enter && recovery.endsWith(wire::kConfirm) &&
                         containsInOrder(recovery, {wire::kEnter, wire::kExit, wire::kResume,
                                                    wire::kEnter, wire::kConfirm}),
                     recovery.toHex(' ').constData());
            QVERIFY2(all.mid(resumed).startsWith(wire::channel(point) + wire::kLevel +
                                                 wire::channel((point + 1) % 50)),
                     all.mid(resumed, 16).toHex(' ').constData());
        }
        // The unplugged radio came back as another device and forgot its mode: the program put
        // it back into command mode.
        if (unplug) {
            QVERIFY2(returnedDevice.startsWith("/dev/") &&
                         (returnedDevice != firstDevice || !holder->holdsName),
                     qPrintable(firstDevice + " -> " + returnedDevice));
            QVERIFY(containsInOrder(all.mid(marks.front()),
                                    {wire::kEnter, wire::kConfirm, wire::kLevel}));
        }

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
