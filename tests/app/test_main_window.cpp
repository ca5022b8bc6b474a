// The main window on the real simulated radio over a pseudo-terminal: start-up from the
// stored settings, the fall-back to the serial port dialog, and shut-down.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "app_doubles.h"
#include "main_window.h"
#include "qt_event_loop.h"
#include "serial_comm.h"
#include "sim_process.h"

using namespace kv;

namespace {

using test::NoDialogs;
using test::RecordingMessages;

// One analyzer on one simulated radio.
struct Rig {
    test::SimProcess sim;
    MemorySettingsBackend store;
    SerialComm comm{store};
    QtEventLoop loop;
    SystemLocalClock clock;
    RecordingMessages messages;
    NoDialogs dialogs;
    std::unique_ptr<MainWindow> window;

    explicit Rig(const QStringList& simOptions = {}) {
        QVERIFY(sim.start(simOptions));
        mapPort(1);
    }
    void mapPort(int n) {
        store.values[{"Ports", "COM" + std::to_string(n)}] = sim.linkPath().toStdString();
    }
    void set(const char* key, const char* value) { store.values[{"Settings", key}] = value; }
    MainWindow& open() {
        window = std::make_unique<MainWindow>(
            AppServices{store, comm, loop, clock, messages, dialogs, "/opt/kv3710"});
        window->load();
        window->show();
        return *window;
    }
    bool sweeping() const {
        const auto& s = window->state();
        return !s.flags.stopRequested && s.lastSweepEnd != 0;
    }
    // Runs `whileSweeping` from inside the sweep's own yields once a sweep has completed,
    // then closes the window; false if no sweep completed in time.
    bool closeAfterSweep(const std::function<void()>& whileSweeping = {}) {
        bool seen = false;
        QTimer probe;
        probe.setInterval(20);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            if (seen || !sweeping()) return;
            seen = true;
            if (whileSweeping) whileSweeping();
            window->close();
        });
        probe.start();
        return QTest::qWaitFor([&] { return window->unloaded(); }, 15000) && seen;
    }
};

}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void startsSweepingFromTheStoredSettings_data() {
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("lineSettings");
        QTest::newRow("empty store") << QStringList{} << 1 << "115200,n,8,1";
        QTest::newRow("baud index 5, port 2")
            << QStringList{"Baud", "5", "Port", "2"} << 3 << "9600,n,8,1";
        QTest::newRow("baud stored as a rate") << QStringList{"Baud", "9600"} << 1 << "9600,n,8,1";
        QTest::newRow("data and stop ignored")
            << QStringList{"Data", "7", "Stop", "2"} << 1 << "115200,n,8,1";
    }
    void startsSweepingFromTheStoredSettings() {
        QFETCH(QStringList, stored);
        QFETCH(int, port);
        QFETCH(QString, lineSettings);
        Rig rig;
        rig.mapPort(port);
        for (int i = 0; i + 1 < stored.size(); i += 2)
            rig.set(qPrintable(stored[i]), qPrintable(stored[i + 1]));
        MainWindow& w = rig.open();
        QVERIFY(!w.comPortDialog());
        int commPort = 0;
        std::string settings;
        QVERIFY(rig.closeAfterSweep([&] {
            commPort = rig.comm.commPort();
            settings = rig.comm.settings();
        }));
        QCOMPARE(commPort, port);
        QCOMPARE(QString::fromStdString(settings), lineSettings);
        QVERIFY(rig.messages.shown.empty());
        QVERIFY(!rig.comm.portOpen());
    }

    void clientAreaIsTheRestoredSize() {
        Rig rig;
        MainWindow& w = rig.open();
        QCOMPARE(w.surface().scaleWidth(), 10755.0f);
        QCOMPARE(w.surface().scaleHeight(), 8730.0f);
        w.close();
    }

    void unusablePortOpensTheDialogAndNoSweep_data() {
        QTest::addColumn<bool>("busy");
        QTest::newRow("missing device") << false;
        QTest::newRow("port in use") << true;
    }
    void unusablePortOpensTheDialogAndNoSweep() {
        QFETCH(bool, busy);
        Rig rig;
        SerialComm other(rig.store);
        if (busy) {
            QVERIFY(other.setCommPort(1));
            QVERIFY(other.setPortOpen(true));
        } else {
            rig.store.values[{"Ports", "COM1"}] = "/nonexistent/tty";
        }
        MainWindow& w = rig.open();
        QVERIFY(w.comPortDialog());
        auto* message = w.comPortDialog()->findChild<QLabel*>("Label2");
        QVERIFY(message->text().contains("either invalid or in use by another program.  Please"));
        QTest::qWait(400);
        QVERIFY(w.state().flags.stopRequested);
        QCOMPARE(rig.sim.stat("commands"), 0);  // nothing reached the radio
        w.close();
        QVERIFY(!w.comPortDialog() || !w.comPortDialog()->isVisible());
    }

    void dialogOkAfterFailedStartStartsTheSweep() {
        Rig rig;
        rig.store.values[{"Ports", "COM1"}] = "/nonexistent/tty";
        rig.mapPort(2);
        MainWindow& w = rig.open();
        QVERIFY(w.comPortDialog());
        w.comPortDialog()->findChild<QComboBox*>("Settings_Port_Box")->setCurrentIndex(1);
        w.comPortDialog()->findChild<QPushButton*>("Command2")->click();
        QVERIFY(rig.closeAfterSweep());
        QCOMPARE(rig.store.values[(std::pair<std::string, std::string>{"Settings", "Port"})],
                 std::string("1"));
    }

    void exitDuringSweepSavesFiveKeysAndClosesThePort() {
        Rig rig;
        MainWindow& w = rig.open();
        bool seen = false;
        QTimer probe;
        probe.setInterval(20);
        connect(&probe, &QTimer::timeout, [&] {
            if (seen || !rig.sweeping()) return;
            seen = true;
            rig.store.writes.clear();
            w.exitCommand();
        });
        probe.start();
        QVERIFY(QTest::qWaitFor([&] { return w.unloaded(); }, 15000));
        QVERIFY(seen);
        const std::vector<std::pair<std::string, std::string>> expected{{"Port", "0"},
                                                                        {"Center Frequency", "915"},
                                                                        {"Span", "26"},
                                                                        {"Amplitude", "-40"},
                                                                        {"Attenuator", "0"}};
        QCOMPARE(rig.store.writes, expected);
        QVERIFY(!rig.comm.portOpen());
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
