// The main window started on the stored settings, good and bad, with the real simulated radio:
// it opens the port the settings name at their rate and sweeps, or, where the port or the load
// fails, shows the serial port dialog, sends nothing until a port is chosen there and then
// sweeps on the defaults. Odd but valid layouts (margins wider than the window, extreme floats,
// one point or 256) sweep with every key pressed and never crash.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "e2e_rig.h"
#include "surface_view.h"

using namespace kv;
using namespace kv::e2e;

class TestE2eStart : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void startsFromTheStoredSettings_data() {
        QTest::addColumn<QStringList>("settings");
        QTest::addColumn<QString>("com1");  // "radio", "missing" or "busy"
        QTest::addColumn<int>("pick");      // the port chosen in the dialog; -1: no dialog
        QTest::addColumn<int>("commPort");
        QTest::addColumn<QString>("line");
        const QString fast = "115200,n,8,1";
        QTest::newRow("empty store") << QStringList{} << "radio" << -1 << 1 << fast;
        QTest::newRow("baud index 5, port 2")
            << QStringList{"Baud=5", "Port=2"} << "radio" << -1 << 3 << "9600,n,8,1";
        QTest::newRow("baud as a rate")
            << QStringList{"Baud=9600"} << "radio" << -1 << 1 << "9600,n,8,1";
        QTest::newRow("data and stop ignored")
            << QStringList{"Data=7", "Stop=2"} << "radio" << -1 << 1 << fast;
        QTest::newRow("missing device") << QStringList{} << "missing" << 1 << 2 << fast;
        QTest::newRow("port in use, then free") << QStringList{} << "busy" << 0 << 1 << fast;
        QTest::newRow("largest port")
            << QStringList{"Port=2147483647"} << "radio" << 0 << 1 << fast;
        QTest::newRow("smallest port")
            << QStringList{"Port=-2147483648"} << "radio" << 0 << 1 << fast;
        QTest::newRow("word for a number")
            << QStringList{"Graph Top=abc"} << "radio" << 0 << 1 << fast;
        QTest::newRow("no points")
            << QStringList{"Number of Points=0"} << "radio" << 1 << 2 << fast;
        QTest::newRow("257 points")
            << QStringList{"Number of Points=257"} << "radio" << 0 << 1 << fast;
        QTest::newRow("margins wider than the window")
            << QStringList{"Graph Left=30000", "Graph Right=30000", "Number of Gradiants=400"}
            << "radio" << -1 << 1 << fast;
        QTest::newRow("negative margins")
            << QStringList{"Graph Left=-30000", "Graph Right=-30000", "Graph Top=-32768",
                           "Number of Gradiants=-1"}
            << "radio" << -1 << 1 << fast;
        QTest::newRow("top below the window")
            << QStringList{"Graph Top=30000", "Number of Gradiants=0"} << "radio" << -1 << 1
            << fast;
        QTest::newRow("one point, no span")
            << QStringList{"Number of Points=1", "Span=0"} << "radio" << -1 << 1 << fast;
        QTest::newRow("256 points")
            << QStringList{"Number of Points=256"} << "radio" << -1 << 1 << fast;
        QTest::newRow("extreme floats")
            << QStringList{"Center Frequency=-3.4e38", "Span=3.4e38", "Amplitude=3.4e38"} << "radio"
            << -1 << 1 << fast;
        QTest::newRow("amplitude far below")
            << QStringList{"Amplitude=-3.4e38", "Graph Top=32767", "Graph Left=-32768"} << "radio"
            << -1 << 1 << fast;
    }
    void startsFromTheStoredSettings() {
        QFETCH(QStringList, settings);
        QFETCH(QString, com1);
        QFETCH(int, pick);
        QFETCH(int, commPort);
        QFETCH(QString, line);
        Rig rig;
        QVERIFY(rig.start());
        for (const char* port : {"COM2", "COM3"})
            rig.store.values[{"Ports", port}] = rig.sim.linkPath().toStdString();
        if (com1 == "missing") rig.store.values[{"Ports", "COM1"}] = "/nonexistent/tty";
        SerialComm other(rig.store);
        if (com1 == "busy") QVERIFY(other.setCommPort(1) && other.setPortOpen(true));
        for (const QString& s : settings)
            rig.set(s.section('=', 0, 0).toStdString(), s.section('=', 1).toStdString());
        MainWindow& w = rig.open();

        QCOMPARE(w.comPortDialog() != nullptr, pick >= 0);
        if (pick >= 0) {
            const auto* message = w.comPortDialog()->findChild<QLabel*>("Label2");
            QVERIFY(message->text().startsWith("The Serial Communications Port you have"));
            QTest::qWait(50);
            QVERIFY(rig.state().flags.stopRequested);
            QCOMPARE(rig.sim.stat("commands"), 0);  // nothing reached the radio
            other.setPortOpen(false);
            w.comPortDialog()->findChild<QComboBox*>("Settings_Port_Box")->setCurrentIndex(pick);
            w.comPortDialog()->findChild<QPushButton*>("Command2")->click();
        }
        // Two sweeps, the second drawn over the first, with every key command pressed between.
        int openedPort = 0;
        QString lineSettings;
        Script script;
        script.then("first sweep", [&] { return rig.state().lastSweepEnd != 0; })
            .thenDo("keys",
                    [&] {
                        openedPort = rig.comm.commPort();
                        lineSettings = QString::fromStdString(rig.comm.settings());
                        for (int key : {Qt::Key_F1, Qt::Key_F2, Qt::Key_F3, Qt::Key_F4, Qt::Key_F5,
                                        Qt::Key_Left, Qt::Key_Right, Qt::Key_F3, Qt::Key_Left,
                                        Qt::Key_F7, Qt::Key_F2})
                            QTest::keyClick(w.view(), static_cast<Qt::Key>(key));
                        rig.markSweep();
                    })
            .then("second sweep", [&] { return rig.sweptSinceMark(); });
        QVERIFY2(script.run(w, 20000), qPrintable(script.stoppedAt()));
        QCOMPARE(openedPort, commPort);
        QCOMPARE(lineSettings, line);
        QVERIFY(rig.messages.shown.empty());
        QVERIFY(!rig.comm.portOpen());

        // The channels sent are those of the points the trace holds.
        const auto points = static_cast<int>(rig.state().trace.size());
        QCOMPARE(points, int(rig.state().settings.numberOfPoints));
        int highest = -1;
        const QByteArray sent = bytesToRadio(rig.wire());
        for (qsizetype i = sent.indexOf('\xB1'); i >= 0 && i + 1 < sent.size();
             i = sent.indexOf('\xB1', i + 1))
            highest = std::max(highest, int(static_cast<unsigned char>(sent[i + 1])));
        QCOMPARE(highest, points - 1);
        QCOMPARE(rig.store.read("Settings", "Port"), std::to_string(commPort - 1));
    }
};

QTEST_MAIN(TestE2eStart)
#include "test_e2e_start.moc"
