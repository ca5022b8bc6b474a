#include <QtTest>

#include "port_names.h"

class TestPortNames : public QObject {
    Q_OBJECT
  private slots:
    void devicePath_data() {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("path");
        QTest::newRow("COM1 default") << 1 << "/dev/ttyS0";
        QTest::newRow("COM2 mapped") << 2 << "/dev/ttyUSB0";
        QTest::newRow("COM3 mapped to a link") << 3 << "/tmp/radio-link";
        QTest::newRow("COM4 empty entry") << 4 << "/dev/ttyS3";
        QTest::newRow("COM16 default") << 16 << "/dev/ttyS15";
        QTest::newRow("COM12 key only in another section") << 12 << "/dev/ttyS11";
        QTest::newRow("COM255") << 255 << "/dev/ttyS254";
        QTest::newRow("COM0") << 0 << "";
        QTest::newRow("COM256") << 256 << "";
        QTest::newRow("negative") << -1 << "";
    }
    void devicePath() {
        QFETCH(int, port);
        QFETCH(QString, path);
        kv::MemorySettingsBackend store;
        store.write("Ports", "COM2", "/dev/ttyUSB0");
        store.write("Ports", "COM3", "/tmp/radio-link");
        store.write("Ports", "COM4", "");
        store.write("Settings", "COM12", "/dev/ttyACM0");
        QCOMPARE(QString::fromStdString(kv::devicePathForPort(store, port)), path);
    }
};

QTEST_APPLESS_MAIN(TestPortNames)
#include "test_port_names.moc"
