// The main window started on the stored settings, good and bad, with the real simulated radio:
// it opens the port the settings name at their rate and sweeps, or, where the port or the load
// fails, shows the serial port dialog, sends nothing until a port is chosen there and then
// sweeps on the defaults. Odd but valid layouts (margins wider than the window, extreme floats,
// one point or 256) sweep with every key pressed and never crash. After a resize every trace
// vertex lies on the new axes, as a fresh start at that size draws it; a cancelled start shows
// the empty graph and where to choose a port.
#include <QApplication>
#include <QComboBox>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QtTest>
#include <cmath>

#include "e2e_rig.h"
#include "qt_colour.h"
#include "surface_view.h"

using namespace kv;
using namespace kv::e2e;

namespace {

// Levels without noise, so that two runs measure the same trace.
const QStringList kScene{"--noise-spread", "0", "--carrier", "20:-50:9"};
int device(double twips) {
    return static_cast<int>(std::floor(twips / 15 + 0.5));
}

// The picture once two sweeps have ended after `prepare`.
QImage pictureAfterTwoSweeps(Rig& rig, const std::function<void()>& prepare) {
    QImage picture;
    Script script;
    script.then("first sweep", [&] { return rig.state().lastSweepEnd != 0; })
        .thenDo("prepare", [&] { prepare(), rig.markSweep(); })
        .then("a sweep", [&] { return rig.sweptSinceMark(); })
        .thenDo("mark", [&] { rig.markSweep(); })
        .then("another sweep", [&] {
            picture = rig.window().surface().windowPicture();
            return rig.sweptSinceMark();
        });
    if (!script.run(rig.window(), 30000)) qWarning() << script.report();
    return picture;
}

}  // namespace

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

    void resizedPictureEqualsAFreshStart_data() {
        QTest::addColumn<QSize>("client");
        QTest::addColumn<bool>("maxHold");
        QTest::newRow("larger") << QSize(790, 740) << false;
        QTest::newRow("smaller-max-hold") << QSize(520, 400) << true;
    }
    void resizedPictureEqualsAFreshStart() {
        QFETCH(QSize, client);
        QFETCH(bool, maxHold);
        Rig resized;
        QVERIFY(resized.start(kScene));
        MainWindow& w = resized.open();
        const QImage picture = pictureAfterTwoSweeps(resized, [&] {
            resized.state().flags.maxHold = maxHold;
            w.resize(client.width(), client.height() + w.menuBar()->height());
        });
        QCOMPARE(picture.size(), client);

        // Every vertex where the layout puts it for this size and the level measured.
        const auto& s = resized.state().settings;
        const int n = s.numberOfPoints;
        const double plotWidth = client.width() * 15 - (s.graphLeft + s.graphRight);
        const double plotHeight = client.height() * 15 - (s.graphTop + s.graphBottom);
        const QRgb graph = toQColor(s.graphColor).rgb();
        for (int i = 0; i < n; ++i) {
            const double left = std::nearbyint(plotWidth / n * i + s.graphLeft);
            const double right = std::nearbyint(plotWidth / n + left);
            const double x = i == 0       ? left
                             : i == n - 1 ? right
                                          : std::nearbyint((left + right) / 2);
            const double level = resized.state().trace[static_cast<std::size_t>(i)].amplitudeDb;
            const double y =
                std::nearbyint(std::fabs(s.amplitude - level) * plotHeight / 70 + s.graphTop);
            const QImage around = picture.copy(device(x) - 1, device(y) - 1, 3, 3);
            bool near = false;
            for (int k = 0; k < 9; ++k) near = near || around.pixel(k % 3, k / 3) == graph;
            QVERIFY2(near, qPrintable(QString("vertex %1 at %2, %3").arg(i).arg(x).arg(y)));
        }

        // The same size remembered and started afresh draws the same picture.
        Rig fresh;
        QVERIFY(fresh.start(kScene));
        for (const auto& [key, value] : resized.store.values)
            if (key.first == MainWindow::kWindowSection) fresh.store.values[key] = value;
        fresh.open();
        QImage expected = pictureAfterTwoSweeps(fresh, [] {});
        QImage actual = picture;
        // Only the sweep time may differ, and the top edge, where the first pass of a run
        // erases the marker symbols it drew above the window for points not yet measured.
        for (QImage* image : {&expected, &actual}) {
            QPainter(image).fillRect(device(s.graphLeft), device(s.graphTop), client.width() / 2,
                                     device(250), Qt::black);
            QPainter(image).fillRect(0, 0, client.width(), 1, Qt::black);
        }
        QVERIFY(actual == expected);
    }

    void cancelledStartShowsTheGraphAndTheHint() {
        Rig rig;
        QVERIFY(rig.start(kScene));
        rig.store.values[{"Ports", "COM1"}] = "/nonexistent/tty";
        MainWindow& w = rig.open();
        QVERIFY(w.comPortDialog());
        w.comPortDialog()->findChild<QPushButton*>("Command1")->click();  // Cancel
        QTest::qWait(300);
        QCOMPARE(rig.state().texts.commMessage, std::string(MainWindow::kNoPortHint));
        QVERIFY(rig.messagePixels(MainWindow::kNoPortHint) >= 100);
        // The graticule (ten lines at least) and the legend below the plot are drawn.
        const QImage picture = w.surface().windowPicture();
        const auto count = [&](Colour colour, int fromY) {
            int pixels = 0;
            for (int y = fromY; y < picture.height(); ++y)
                for (int x = 0; x < picture.width(); ++x)
                    pixels += picture.pixel(x, y) == toQColor(colour).rgb();
            return pixels;
        };
        QVERIFY(count(rig.state().settings.gridColor, 0) > 10 * picture.height());
        QVERIFY(count(rig.state().settings.labelColor, device((*rig.state().legendPos)[0].y) + 1) >
                500);
        w.close();
    }
};

QTEST_MAIN(TestE2eStart)
#include "test_e2e_start.moc"
