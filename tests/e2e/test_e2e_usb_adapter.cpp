// The simulated radio as a USB adapter (kv3710-sim --by-id): found and numbered on a first
// start, listed by name, and the same port number after a restart and a re-plug.
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSerialPort>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "comport_dialog.h"
#include "e2e_rig.h"
#include "ini_settings_backend.h"
#include "settings_store.h"

using namespace kv;
using namespace kv::e2e;
using kv::test::settingsFile;

namespace {
const QString kName = QStringLiteral("usb-Tessaryn_KV3710_Radio_KV0001-if00-port0");

// The serial port dialog on a fresh start of the program with its settings in `file`, on a
// machine with an on-board port COM1; OK on `port`. Returns the text of the port list's entry,
// or the reason the dialog gives when the port did not open.
QString chooseInDialog(const QString& file, const QString& byId, int port) {
    IniSettingsBackend store(file);
    test::FakeMachine machine;
    machine.onBoard = {1};
    machine.byIdFolder = byId;
    SerialComm comm(store, machine);
    SharedState state;
    (void)loadSettings(store, state);  // the dialog needs the rate; any load gives one
    QWidget owner;
    auto* dialog = new ComPortDialog(state, comm, store, machine, &owner);
    auto* list = dialog->findChild<QComboBox*>("Settings_Port_Box");
    const QString entry = list->itemText(port - 1);
    list->setCurrentIndex(port - 1);
    QTest::mouseClick(dialog->findChild<QPushButton*>("Command2"), Qt::LeftButton);
    return comm.portOpen() ? entry : dialog->findChild<QLabel*>("PortProblemReason")->text();
}
}  // namespace

class TestE2eUsbAdapter : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void firstStartSweepsTheAdapterAsCom1() {
        QTemporaryDir byId;
        Rig rig;
        QVERIFY(rig.start({"--by-id", byId.path()}));
        rig.store.values.clear();  // no settings at all
        rig.machine.byIdFolder = byId.path();
        MainWindow& w = rig.open();
        Script script;
        script.then("swept", [&] { return rig.state().lastSweepEnd != 0; });
        QVERIFY2(script.run(w, 30000), qPrintable(script.report()));
        QVERIFY(!w.comPortDialog());
        const auto value = [&](const char* section, const char* key) {
            return QString::fromStdString(rig.store.read(section, key).value_or("(none)"));
        };
        QCOMPARE(value("Ports", "COM1"), byId.path() + '/' + kName);
        QCOMPARE(value("Ports", "COM2"), "(none)");
        QCOMPARE(value("Settings", "Port"), "0");
    }

    void keepsItsNumberAfterRestartAndReplug() {
        QTemporaryDir config;
        QTemporaryDir byId;
        const QString file = settingsFile(config.path());
        test::SimProcess first;
        QVERIFY(first.start({"--by-id", byId.path() + ':' + kName}));
        const QString firstDevice = first.devicePath().mid(5);
        QCOMPARE(chooseInDialog(file, byId.path(), 2), "COM2  KV3710 Radio (" + firstDevice + ")");

        // Plugged in again elsewhere: a new device under the same stable name.
        test::SimProcess second;
        QVERIFY(second.start({"--by-id", byId.path() + ':' + kName}));
        first.stop();
        const QString secondDevice = second.devicePath().mid(5);
        QVERIFY(secondDevice != firstDevice);
        QCOMPARE(chooseInDialog(file, byId.path(), 2), "COM2  KV3710 Radio (" + secondDevice + ")");

        QSettings written(file, QSettings::IniFormat);
        written.beginGroup("Ports");
        QCOMPARE(written.childKeys(), QStringList{"COM2"});
        QCOMPARE(written.value("COM2").toString(), byId.path() + '/' + kName);
        written.endGroup();
        QCOMPARE(written.value("Settings/Port").toString(), "1");
    }
};

QTEST_MAIN(TestE2eUsbAdapter)
#include "test_e2e_usb_adapter.moc"
