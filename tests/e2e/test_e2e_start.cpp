// SPDX-License-Identifier: GPL-3.0-or-later
// The main window started on stored settings, good and bad, with the simulated radio: it sweeps
// the port they name at their rate, or, where the port or the load fails, shows the port dialog
// and sends nothing until a port is chosen there. Odd but valid layouts (wide margins, extreme
// floats, one point or 256) sweep with every key pressed. A shrunk window draws what a fresh
// start at that size draws.
#include <QApplication>
#include <QComboBox>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QtTest>

#include "e2e_rig.h"
#include "surface_view.h"

using namespace kv;
using namespace kv::e2e;

namespace {

// Levels without noise, so that two runs measure the same trace.
const QStringList kScene{"--noise-spread", "0", "--carrier", "20:-50:9"};

// Runs the window until a sweep has ended, then `between`, then until `more` sweeps have
// ended; with the picture as they end.
bool sweepAround(Rig& rig, const std::function<void()>& between, int more,
                 QImage* picture = nullptr) {
    Script script;
    script.then("first sweep", [&] { return rig.state().lastSweepEnd != 0; })
        .thenDo("between", [&] { between(), rig.markSweep(); });
    for (int i = 0; i < more; ++i)
        script.then("a sweep", [&] {
            if (!rig.sweptSinceMark()) return false;
            if (picture) *picture = rig.window().surface().windowPicture();
            rig.markSweep();
            return true;
        });
    const bool ok = script.run(rig.window(), 30000);
    if (!ok) qWarning() << script.report();
    return ok;
}

}  // namespace

class TestE2eStart : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void startsFromTheStoredSettings_data() {
        QTest::addColumn<QStringList>("row");
        // stored settings (;) | COM1: radio, missing, busy or an adapter found on a machine
        // without settings | port chosen in the dialog (-1: no dialog, -2: cancelled) | port
        // opened | line settings
        const QString table = R"(|radio|-1|1|115200,n,8,1
Baud=5;Port=2|radio|-1|3|9600,n,8,1
Baud=9600|radio|-1|1|9600,n,8,1
|adapter|-1|1|115200,n,8,1
|missing|1|2|115200,n,8,1
|missing|-2|0|
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
        QTemporaryDir byId;
        Rig rig;
        QVERIFY(rig.start(com1 == "adapter" ? QStringList{"--by-id", byId.path()} : QStringList{}));
        for (const char* port : {"COM2", "COM3"})
            rig.store.values[{"Ports", port}] = rig.sim.linkPath().toStdString();
        if (com1 == "missing") rig.store.values[{"Ports", "COM1"}] = "/nonexistent/tty";
        if (com1 == "adapter") rig.store.values.clear(), rig.machine.byIdFolder = byId.path();
        SerialComm other(rig.store, rig.machine);
        if (com1 == "busy") QVERIFY(other.setCommPort(1) && other.setPortOpen(true));
        for (const QString& s : row[0].split(';', Qt::SkipEmptyParts))
            rig.store.values[{"Settings", s.section('=', 0, 0).toStdString()}] =
                s.section('=', 1).toStdString();
        MainWindow& w = rig.open();

        QCOMPARE(w.comPortDialog() != nullptr, pick != -1);
        if (pick == -2) {  // cancelled: where to choose a port shows on the empty graph
            w.comPortDialog()->findChild<QPushButton*>("Command1")->click();
            QTRY_VERIFY(rig.messagePixels(MainWindow::kNoPortHint) >= 100);
            return;
        }
        if (pick >= 0) {
            QTest::qWait(50);
            QCOMPARE(rig.sim.stat("commands"), 0);  // nothing reached the radio
            other.setPortOpen(false);
            w.comPortDialog()->findChild<QComboBox*>("Settings_Port_Box")->setCurrentIndex(pick);
            w.comPortDialog()->findChild<QPushButton*>("Command2")->click();
        }
        // Two sweeps, the second drawn over the first, with every key command pressed between.
        int openedPort = 0;
        QString lineSettings;
        const auto keys = [&] {
            openedPort = rig.comm.commPort();
            lineSettings = QString::fromStdString(rig.comm.settings());
            for (int key :
                 {Qt::Key_F1, Qt::Key_F2, Qt::Key_F3, Qt::Key_F4, Qt::Key_F5, Qt::Key_Left,
                  Qt::Key_Right, Qt::Key_F3, Qt::Key_Left, Qt::Key_F7, Qt::Key_F2})
                QTest::keyClick(w.view(), static_cast<Qt::Key>(key));
        };
        QVERIFY(sweepAround(rig, keys, 1));
        QCOMPARE(openedPort, commPort);
        QCOMPARE(lineSettings, row[4]);
        QVERIFY(rig.messages.shown.empty() && !rig.comm.portOpen());

        // The channels sent are those of the points the trace holds.
        const int points = static_cast<int>(rig.state().trace.size());
        QCOMPARE(points, int(rig.state().settings.numberOfPoints));
        const QByteArray sent = rig.sent();
        QVERIFY(sent.contains(wire::channel(points - 1)));
        QVERIFY(points == 256 || !sent.contains(wire::channel(points)));
        QCOMPARE(rig.store.read("Settings", "Port"),
                 std::optional<std::string>(std::to_string(commPort - 1)));
        if (com1 == "adapter")  // numbered and remembered by its stable name
            QVERIFY(rig.store.read("Ports", "COM1")
                        .value_or("")
                        .starts_with(byId.path().toStdString() + "/usb-"));
    }

    // Found as a fault: the marker symbols were erased at their old places, outside the plot.
    void shrunkPictureEqualsAFreshStart() {
        const QSize client(520, 400);
        Rig shrunk, fresh;
        QVERIFY(shrunk.start(kScene) && fresh.start(kScene));
        MainWindow& w = shrunk.open();
        QImage actual, expected;
        const auto shrink = [&] {
            shrunk.state().flags.maxHold = true;
            w.resize(client.width(), client.height() + w.menuBar()->height());
        };
        QVERIFY(sweepAround(shrunk, shrink, 2, &actual));
        QCOMPARE(actual.size(), client);
        for (const auto& [key, value] : shrunk.store.values)
            if (key.first == MainWindow::kWindowSection) fresh.store.values[key] = value;
        fresh.open();
        QVERIFY(sweepAround(
            fresh, [] {}, 2, &expected));
        // Only the sweep time may differ, and the top edge, where the first pass of a run
        // erases the marker symbols it drew above the window for points not yet measured.
        const auto& s = fresh.state().settings;
        const auto device = [](double twips) { return qRound(twips / 15); };
        for (QImage* image : {&expected, &actual}) {
            QPainter(image).fillRect(device(s.graphLeft), device(s.graphTop), client.width() / 2,
                                     device(250), Qt::black);
            QPainter(image).fillRect(0, 0, client.width(), 1, Qt::black);
        }
        QVERIFY(actual == expected);
    }
};

QTEST_MAIN(TestE2eStart)
#include "test_e2e_start.moc"
