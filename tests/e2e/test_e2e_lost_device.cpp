// The serial device vanishes under a running sweep (a USB adapter pulled out) and comes back
// under the same link but as another device: the failure message stays up while it is gone, the
// program does not spin, and it reopens the port and sweeps again by itself.
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QFile>
#include <QtTest>
#include <cstdlib>
#include <vector>

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
    HeldName(const HeldName&) = delete;
    HeldName& operator=(const HeldName&) = delete;
    bool held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

}  // namespace

class TestE2eLostDevice : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void reopensTheSamePortWhenTheDeviceReturns() {
        Rig rig;
        QVERIFY(rig.start());
        const QString firstDevice = rig.sim.devicePath();
        MainWindow& w = rig.open();
        Checks checks;
        std::unique_ptr<HeldName> holder;
        QString returnedDevice;
        double goneCpuStart = 0;
        double goneSince = 0;
        double goneCpu = -1;
        Script script;
        script.then("sweeping", [&] { return rig.state().lastSweepEnd != 0; })
            .thenDo("unplug",
                    [&] {
                        QCOMPARE(rig.sim.command("vanish"), QString("ok"));
                        // As the system removes a device's link when it is unplugged: left
                        // dangling, the link would name whatever terminal gets the number next,
                        // on a busy machine perhaps another program's.
                        QVERIFY(QFile::remove(rig.sim.linkPath()));
                    })
            .then("port lost, message shown",
                  [&] { return rig.comm.portLost() && !rig.comm.portOpen() && rig.messageShown(); })
            .thenDo("measure the time used while gone",
                    [&] {
                        // The old device's number is free once the program has let go of it.
                        holder = std::make_unique<HeldName>(firstDevice);
                        goneSince = monotonicMs();
                        goneCpuStart = processCpuSeconds();
                    })
            .then("gone for two seconds",
                  [&] {
                      checks.expect(rig.messageShown(), "message stays while the device is gone");
                      checks.expect(!rig.comm.portOpen(), "port stays closed while gone");
                      if (monotonicMs() - goneSince < 2000) return false;
                      goneCpu = processCpuSeconds() - goneCpuStart;
                      return true;
                  })
            .thenDo("plug back in",
                    [&] {
                        returnedDevice = rig.sim.command("return");
                        rig.markSweep();
                    })
            .then("reopened and sweeping, message gone",
                  [&] { return rig.comm.portOpen() && rig.sweptSinceMark() && rig.messageGone(); });
        QVERIFY2(script.run(w, 30000), qPrintable(script.stoppedAt()));
        QVERIFY2(checks.ok(), qPrintable(checks.report()));
        qInfo("CPU while gone: %.3f s in 2 s; device %s came back as %s", goneCpu,
              qPrintable(firstDevice), qPrintable(returnedDevice));
        QVERIFY(returnedDevice.startsWith("/dev/"));
        QVERIFY(holder);
        // Loose: a spinning wait would use the whole two seconds.
        QVERIFY2(goneCpu >= 0 && goneCpu < 0.5, qPrintable(QString::number(goneCpu)));
        QCOMPARE(rig.comm.commPort(), 1);

        const auto log = rig.wire();
        const std::size_t back = findEvent(log, "returned");
        QVERIFY(back < log.size());
        // The unplugged radio forgot its mode: the program put it back into command mode and
        // measured again (the completed sweep was checked above).
        QVERIFY(containsInOrder(bytesToRadio(log, back),
                                {wire::kEnter, wire::kConfirm, wire::kLevel}));
    }
};

QTEST_MAIN(TestE2eLostDevice)
#include "test_e2e_lost_device.moc"
