// SPDX-License-Identifier: GPL-3.0-or-later
// The main window started on stored settings, good and bad, with the simulated radio: it sweeps
// the port they name at their rate, or, where the port or the load fails, shows the port dialog
// and sends nothing until a port is chosen there. Odd but valid layouts (wide margins, extreme
// floats, one point or 256) sweep with every key pressed. A change mid-sweep (a shrunk window,
// the sweep dialog, Page Up, clicks) draws what a fresh start at its outcome draws. Export writes
// the scene's levels.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QStatusBar>
#include <QtTest>

#include "e2e_rig.h"
#include "sim_scene.h"
#include "surface_view.h"

using namespace kv;
using namespace kv::e2e;

namespace {

// Levels without noise, so that two runs measure the same trace.
const QStringList kScene{"--noise-spread", "0", "--carrier", "20:-50:9"};

// The bytes of a sweep over `points` points.
QByteArray sweepOf(int points) {
    QByteArray bytes;
    for (int i = 0; i < points; ++i) bytes += wire::channel(i) + wire::kLevel;
    return bytes;
}

// Runs the window until a sweep has ended and the next has begun, then `between`, then until
// `more` sweeps have ended; with the picture as they end.
bool sweepAround(Rig& rig, const std::function<void()>& between, int more,
                 QImage* picture = nullptr) {
    Script script;
    qsizetype sent = 0;
    script.then("first sweep", [&] { return rig.state().lastSweepEnd != 0; })
        .thenDo("its bytes", [&] { sent = rig.sent().size(); })
        // Inside the next pass where the replies are slow enough for its waits to yield.
        .then("next pass", [&] { return rig.sent().size() > sent; })
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
Number of Points=0|radio|1|2|115200,n,8,1
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

        QCOMPARE(w.comPortDialog() && w.comPortDialog()->isVisible(), pick != -1);
        // It says why: the key that did not load (a port number out of range loads), or the
        // device.
        if (pick != -1 && !row[0].startsWith("Port=")) {
            const QString key = row[0].section('=', 0, 0), text = row[0].section('=', 1);
            const QString why = com1 == "radio"     ? '"' + key + "\" holds \"" + text + '"'
                                : com1 == "missing" ? "/nonexistent/tty is missing"
                                                    : "in use by another program";
            QVERIFY(
                w.comPortDialog()
                    ->findChild<QLabel*>(com1 == "radio" ? "SettingsProblem" : "PortProblemReason")
                    ->text()
                    .remove(QChar(0x200B))
                    .contains(why));
        }
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

    // A change in the middle of a sweep draws, three passes later, what a fresh start at the
    // settings and marker it leads to draws; the radio stays in command mode and gets sweeps
    // only, of the new point count from the exchange after the change on. Found as a fault:
    // after a shrink the marker symbols were erased at their old places, outside the plot.
    void changeMidSweepEqualsAFreshStart_data() {
        QTest::addColumn<QStringList>("change");   // what is done, then its fields or column
        QTest::addColumn<QList<int>>("marker");    // marker 1 before the change; in the fresh start
        QTest::addColumn<QStringList>("written");  // to the store by the change
        QTest::addColumn<QStringList>("alsoStored");  // besides, for the fresh start
        QTest::addColumn<int>("points");
        const QStringList dialog{"Center Frequency=2441.5", "Span=83.5",
                                 "Amplitude=-60",           "Attenuator=3",
                                 "Number of Gradiants=8",   "Number of Points=30"};
        const auto row = [](const char* name, QStringList change, QList<int> marker,
                            QStringList written, QStringList also, int points) {
            QTest::newRow(name) << change << marker << written << also << points;
        };
        row("shrunk window", {"shrink"}, {0, 0}, {}, {}, 50);
        row("sweep dialog", QStringList{"dialog"} + dialog, {45, 29}, dialog, {}, 30);
        row("refused by the dialog", {"dialog", "Number of Points=30", "Span=0"}, {0, 0}, {}, {},
            50);
        row("page up twice, down once", {"page up"}, {0, 0}, {}, {"Amplitude=-30"}, 50);
        row("click", {"click", "17"}, {0, 17}, {}, {}, 50);
        row("click above the plot", {"click above", "17"}, {0, 0}, {}, {}, 50);
        row("double click near the carrier", {"double click", "23"}, {0, 19}, {}, {}, 50);
    }
    void changeMidSweepEqualsAFreshStart() {
        QFETCH(QStringList, change);
        QFETCH(QList<int>, marker);
        QFETCH(QStringList, written);
        QFETCH(QStringList, alsoStored);
        QFETCH(int, points);
        const QSize client(520, 400);
        Rig changed, fresh;
        // Replies slower than a reply wait goes without yielding: the dialog and the keys come
        // in the middle of a pass.
        const bool slow = change[0] == "dialog" || change[0] == "page up";
        QVERIFY(
            changed.start(kScene + (slow ? QStringList{"--latency-ms", "11"} : QStringList{})) &&
            fresh.start(kScene));
        MainWindow& w = changed.open();
        QImage actual, expected;
        qsizetype mark = 0;
        QStringList writes;
        bool refused = false;
        const auto act = [&] {
            changed.state().flags.maxHold = true;
            changed.state().markers.marker[0] = std::int16_t(marker[0]);
            mark = changed.sent().size();
            const SharedState& s = changed.state();
            const ImageSurface& surface = w.surface();
            const int column = change.value(1).toInt();
            const QPoint at(
                surface.toDevice(s.trace[std::size_t(column)].xCenter),
                surface.toDevice(change[0] == "click above" ? s.settings.graphTop / 2
                                                            : s.settings.graphTop + 900));
            if (change[0] == "shrink")
                w.resize(client.width(),
                         client.height() + w.menuBar()->height() + w.statusBar()->height());
            if (change[0].startsWith("click")) QTest::mouseClick(w.view(), Qt::LeftButton, {}, at);
            if (change[0] == "double click") QTest::mouseDClick(w.view(), Qt::LeftButton, {}, at);
            for (Qt::Key key : {Qt::Key_PageUp, Qt::Key_PageUp, Qt::Key_PageDown})
                if (change[0] == "page up") QTest::keyClick(w.view(), key);
            if (change[0] == "dialog") {
                w.showSweepDialog();
                for (const QString& field : change.mid(1))
                    w.sweepDialog()
                        ->findChild<QLineEdit*>(field.section('=', 0, 0))
                        ->setText(field.section('=', 1));
                w.sweepDialog()->findChild<QPushButton*>("OK")->click();
                refused = w.sweepDialog()->isVisible();
            }
            for (const auto& [key, value] : changed.store.writes)
                writes << QString::fromStdString(key + "=" + value);
        };
        // The third pass: a readout changed in a pass leaves the grid under its old text erased
        // until the next one.
        QVERIFY(sweepAround(changed, act, 3, &actual));
        QCOMPARE(writes, written);
        QCOMPARE(refused, change[0] == "dialog" && written.isEmpty());
        for (const auto& [key, value] : changed.store.values)
            if (key.first == MainWindow::kWindowSection) fresh.store.values[key] = value;
        for (const QString& setting : written + alsoStored)
            fresh.store.values[{"Settings", setting.section('=', 0, 0).toStdString()}] =
                setting.section('=', 1).toStdString();
        fresh.open();
        QVERIFY(sweepAround(
            fresh, [&] { fresh.state().markers.marker[0] = std::int16_t(marker[1]); }, 3,
            &expected));
        QCOMPARE(changed.state().markers.marker[0], std::int16_t(marker[1]));
        if (change[0] == "shrink") QCOMPARE(actual.size(), client);
        // Only the sweep time may differ, and the top edge, where the first pass of a run
        // erases the marker symbols it drew above the window for points not yet measured.
        const auto& s = fresh.state().settings;
        const auto device = [](double twips) { return qRound(twips / 15); };
        for (QImage* image : {&expected, &actual}) {
            QPainter(image).fillRect(device(s.graphLeft), device(s.graphTop), image->width() / 2,
                                     device(250), Qt::black);
            QPainter(image).fillRect(0, 0, image->width(), 1, Qt::black);
        }
        QVERIFY(actual == expected);

        // After the change the pass goes on to its end, or with a new point count the exchange
        // in progress (logged late by up to 5 bytes) ends it; then only sweeps of that count.
        QTRY_VERIFY(changed.sent().endsWith(wire::kExit + wire::kResume));
        const QByteArray after = changed.sent().mid(mark);
        const qsizetype next = after.indexOf(sweepOf(points) + sweepOf(points));
        QVERIFY(next >= 0 && next <= (points != 50 ? 5 : sweepOf(50).size()) &&
                sweepOf(50).contains(after.left(next)));
    }

    // Export writes the trace the window shows: the scene's levels, marker 1 where the readout
    // puts it. A file that cannot be written is a message, and the sweep goes on.
    void exportsTheTrace() {
        Rig rig;
        QVERIFY(rig.start(kScene));
        QTemporaryDir dir;
        MainWindow& w = rig.open();
        QString readout;
        Script script;
        script.then("swept", [&] { return rig.state().lastSweepEnd != 0; })
            .thenDo("export",
                    [&] {
                        QTest::keyClick(w.view(), Qt::Key_F1);
                        auto* command = w.findChild<QAction*>("Main_File_Export");
                        for (const char* name : {"missing/trace", "trace"}) {
                            rig.dialogs.savePath = dir.filePath(name).toStdString();
                            command->trigger();
                        }
                        readout = QString::fromStdString(rig.state().texts.markerLine1);
                        rig.markSweep();
                    })
            .then("sweeps on", [&] { return rig.sweptSinceMark(); });
        QVERIFY2(script.run(w, 30000), qPrintable(script.report()));
        QCOMPARE(rig.messages.shown.size(), std::size_t{1});
        QFile file(dir.filePath("trace.csv"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(lines.size(), 53);  // the header, 50 points, marker 1, the last line's end
        QCOMPARE(lines[0], QByteArray("index, frequency_mhz, level_db"));
        sim::Scene scene(sim::SceneConfig{-95, 0, {{20, -50, 9}}, {}, 1, {}});
        for (int i = 0; i < 50; ++i) {
            const QList<QByteArray> fields = lines[1 + i].split(',');
            QCOMPARE(fields.value(0).toInt(), i);
            QCOMPARE(fields.value(2).toDouble(), double(scene.measure(i, {})));
        }
        const QList<QByteArray> marker = lines[51].split(',');
        QCOMPARE(marker[0], "# marker 1: " + QByteArray::number(rig.state().markers.marker[0]));
        QCOMPARE(qRound(marker.value(1).toDouble() * 10),
                 qRound(readout.section(' ', -1).toDouble() * 10));
    }
};

QTEST_MAIN(TestE2eStart)
#include "test_e2e_start.moc"
