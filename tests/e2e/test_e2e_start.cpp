// The main window started on the stored settings, good and bad, with the real simulated radio:
// it opens the port the settings name at their rate and sweeps, or, where the port or the load
// fails, shows the serial port dialog, sends nothing until a port is chosen there and then
// sweeps on the defaults. Odd but valid layouts (margins wider than the window, extreme floats,
// one point or 256) sweep with every key pressed and never crash.
#include <QApplication>
#include <QComboBox>
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
        QTest::addColumn<QStringList>("row");
        // stored settings (;) | COM1: radio, missing or busy | port chosen in the dialog (-1:
        // no dialog) | port opened | line settings
        const QString table = R"(|radio|-1|1|115200,n,8,1
Baud=5;Port=2|radio|-1|3|9600,n,8,1
Baud=9600|radio|-1|1|9600,n,8,1
|missing|1|2|115200,n,8,1
|busy|0|1|115200,n,8,1
Port=2147483647|radio|0|1|115200,n,8,1
Graph Top=abc|radio|0|1|115200,n,8,1
Number of Points=0|radio|1|2|115200,n,8,1
Number of Points=257|radio|0|1|115200,n,8,1
Graph Left=30000;Graph Right=30000;Number of Gradiants=400;Number of Points=256|radio|-1|1|115200,n,8,1
Graph Left=-30000;Graph Right=-30000;Graph Top=-32768;Number of Gradiants=-1|radio|-1|1|115200,n,8,1
Number of Points=1;Span=0;Amplitude=-3.4e38;Graph Top=32767;Graph Left=-32768|radio|-1|1|115200,n,8,1
Center Frequency=-3.4e38;Span=3.4e38;Amplitude=3.4e38;Graph Top=30000;Number of Gradiants=0|radio|-1|1|115200,n,8,1)";
        for (const QString& row : table.split('\n'))
            QTest::newRow(qPrintable(row)) << row.split('|');
    }
    void startsFromTheStoredSettings() {
        QFETCH(QStringList, row);
        const QString com1 = row[1];
        const int pick = row[2].toInt();
        const int commPort = row[3].toInt();
        Rig rig;
        QVERIFY(rig.start());
        for (const char* port : {"COM2", "COM3"})
            rig.store.values[{"Ports", port}] = rig.sim.linkPath().toStdString();
        if (com1 == "missing") rig.store.values[{"Ports", "COM1"}] = "/nonexistent/tty";
        SerialComm other(rig.store, rig.machine);
        if (com1 == "busy") QVERIFY(other.setCommPort(1) && other.setPortOpen(true));
        for (const QString& s : row[0].split(';', Qt::SkipEmptyParts))
            rig.set(s.section('=', 0, 0).toStdString(), s.section('=', 1).toStdString());
        MainWindow& w = rig.open();

        QCOMPARE(w.comPortDialog() != nullptr, pick >= 0);
        if (pick >= 0) {
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
        QVERIFY2(script.run(w, 20000), qPrintable(script.report()));
        QCOMPARE(openedPort, commPort);
        QCOMPARE(lineSettings, row[4]);
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
        QCOMPARE(rig.store.read("Settings", "Port"),
                 std::optional<std::string>(std::to_string(commPort - 1)));
    }
};

QTEST_MAIN(TestE2eStart)
#include "test_e2e_start.moc"
