// SPDX-License-Identifier: GPL-3.0-or-later
// The band over time on the simulated radio replaying two sweeps in turn: the waterfall
// strip's rows in the colours of the levels measured, newest on top, under the trace's
// vertices also after a resize, the picture keeping its size and the strip's place stored;
// the average settling at the mean; a recording that reads back through the simulator's
// replay parser, and one whose writes fail stopping with a message while the sweep goes on;
// a log the logger is writing opened and browsed (nothing sent to the radio), and damaged
// files counted or refused.
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "default_state.h"
#include "e2e_rig.h"
#include "number_text.h"
#include "qt_colour.h"
#include "sim_process.h"
#include "sim_replay.h"
#include "spectrum_model.h"
#include "surface_view.h"
#include "titles.h"
#include "waterfall_map.h"

using namespace kv;
using namespace kv::e2e;

namespace {

// Point i at -95 + i dB and at -46 - i dB in turn: every row differs from the one before,
// and the mean of any even count of sweeps is -70.5 dB everywhere.
std::vector<double> sweepLevels(int which) {
    std::vector<double> levels;
    for (int i = 0; i < 50; ++i) levels.push_back(which == 0 ? -95 + i : -46 - i);
    return levels;
}

// The strip's pixel under each trace vertex, on its rows `row` and `row + 1`, has the colour
// of the level the history holds for the newest and the one before.
QString stripMismatch(MainWindow& w) {
    const QImage strip = w.bandWatch().strip()->grab().toImage();
    const SweepHistory& history = w.history();
    const auto& trace = w.state().trace;
    const float amplitude = w.state().settings.amplitude;
    for (std::size_t back : {0u, 1u}) {
        for (std::size_t i = 0; i < trace.size(); ++i) {
            const TracePoint& p = trace[i];
            const double vertex = i == 0 ? p.xLeft : i + 1 == trace.size() ? p.xRight : p.xCenter;
            const int x = w.surface().toDevice(vertex);
            const QRgb expected = opaquePixel(
                waterfallShadeColour(waterfallShade(history.levels(back)[i], amplitude)));
            if (strip.pixel(x, int(back)) != expected)
                return QString("row %1, point %2 at x %3").arg(back).arg(i).arg(x);
        }
    }
    return {};
}

// A source that hands on what the test gives it.
struct HandedSweeps : SweepSource {
    void start(std::function<void(const Sweep&)> receive) override { hand = std::move(receive); }
    void stop() override { hand = nullptr; }
    std::function<void(const Sweep&)> hand;
};

}  // namespace

class TestE2eWaterfall : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    const QString replay_ = dir_.filePath("two.csv");

  private slots:
    void limitDrawnAndChecked();
    void limitFromTheTraceAndARefusedMask();
    void initTestCase() {
        QApplication::setQuitOnLastWindowClosed(false);
        QFile file(replay_);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const SettingValues band = test::defaultState().settings;
        for (int which : {0, 1})
            file.write(formatSweepLine(band, LineTime{}, 1, sweepLevels(which)).c_str());
    }

    void stripAndAverageFollowTheSweeps() {
        Rig rig;
        QVERIFY(rig.start({"--replay", replay_}));
        MainWindow& w = rig.open();
        SweepHistory const& history = w.history();
        QSize picture, grown;
        int windowHeight = 0;
        // A sweep whose row and the one before are clear of the time labels.
        const auto unlabelledSweep = [&] {
            if (!rig.sweptSinceMark()) return false;
            rig.markSweep();
            const auto label = w.bandWatch().lastTimeLabel();
            return !label || std::int64_t(history.added()) - 1 - label->row >
                                 w.bandWatch().strip()->labelRows() + 1;
        };
        Script script;
        script.then("first sweep", [&] { return rig.state().lastSweepEnd != 0; })
            .thenDo("W",
                    [&] {
                        picture = w.view()->size();
                        windowHeight = w.height();
                        QTest::keyClick(w.view(), Qt::Key_W);
                    })
            .then("unlabelled sweep", unlabelledSweep)
            .thenDo("rows under the trace",
                    [&] {
                        grown = w.view()->size();
                        script.expect(w.height() == windowHeight + w.bandWatch().strip()->height(),
                                      "the window grew by the strip");
                        const QString fault = stripMismatch(w);
                        script.expect(fault.isEmpty(), "strip: " + fault);
                        const auto newest = history.levels(0), before = history.levels(1);
                        script.expect(std::vector<double>(newest.begin(), newest.end()) ==
                                              sweepLevels(newest[0] == -95 ? 0 : 1) &&
                                          newest[0] != before[0],
                                      "the history holds the sweeps measured");
                        // Saved whole: its newest rows as the strip shows them; where it
                        // cannot be written, said.
                        const QImage shown = w.bandWatch().strip()->grab().toImage();
                        for (const char* name : {"strip", "absent/strip"}) {
                            rig.dialogs.savePath = dir_.filePath(name).toStdString();
                            w.findChild<QAction*>("Main_File_SaveWaterfall")->trigger();
                        }
                        const QImage saved(dir_.filePath("strip.png"));
                        bool same = saved.width() == shown.width() && saved.height() > 2;
                        for (int x = 0; same && x < shown.width(); ++x)
                            same = saved.pixel(x, 0) == shown.pixel(x, 0) &&
                                   saved.pixel(x, 1) == shown.pixel(x, 1);
                        script.expect(same, "the saved waterfall");
                        script.expect(rig.messages.shown ==
                                          std::vector<std::string>{
                                              "Cannot write " +
                                              dir_.filePath("absent/strip.png").toStdString()},
                                      "the failed save said");
                        w.resize(520, w.height());
                    })
            .then("sweep after the resize", unlabelledSweep)
            .then("unlabelled sweep after the resize", unlabelledSweep)
            .thenDo("rows under the resized trace",
                    [&] {
                        const QString fault = stripMismatch(w);
                        script.expect(fault.isEmpty(), "resized strip: " + fault);
                        QTest::keyClick(w.view(), Qt::Key_A);
                        rig.markSweep();
                    })
            .then("ten sweeps averaged", [&] {
                return rig.sweptSinceMark() &&
                       history.added() >= 12 + std::uint64_t(rig.state().average.sweeps);
            });
        QVERIFY2(script.run(w, 60000), qPrintable(script.report()));
        QCOMPARE(grown, picture);
        for (const TracePoint& p : rig.state().trace) QCOMPARE(p.amplitudeDb, -70.5);
        QVERIFY(rig.state().texts.shownIn(ReadoutRow::SweepTime).ends_with("    Avg 10"));
        QCOMPARE(rig.store.read(MainWindow::kWindowSection, BandWatch::kStripKey),
                 std::optional<std::string>("1"));
        QCOMPARE(rig.store.read(MainWindow::kWindowSection, BandWatch::kStripHeightKey),
                 std::optional<std::string>(std::to_string(BandWatch::kDefaultStripHeight)));
    }

    // Sweeps from a source take the radio's path into the trace, the markers, the strip and
    // the sinks (the history is one) while the radio is left out of command mode; a sweep of
    // another band moves the trace to it. File -> Live sweeps the radio again at its own band,
    // which is also what the exit saves. The sinks seeing the sweeps as measured is the
    // history's check in the test above.
    void sourceFeedsTheSweepsWhileTheRadioIsLeft() {
        Rig rig;
        QVERIFY(rig.start({"--replay", replay_}));
        MainWindow& w = rig.open();
        auto owned = std::make_unique<HandedSweeps>();
        HandedSweeps& source = *owned;
        const SettingValues live = rig.state().settings;
        std::vector<double> handed(50, -90);
        handed[31] = -48;
        qsizetype sentWithSource = 0;
        const auto hand = [&](float span) {
            SettingValues band = live;
            band.span = span;
            source.hand({std::chrono::system_clock::now(), 0, 0, band, 1, handed});
        };
        Script script;
        script.then("first sweep", [&] { return rig.state().lastSweepEnd != 0; })
            .thenDo("strip, source",
                    [&] {
                        QTest::keyClick(w.view(), Qt::Key_W);
                        w.watchSource(std::move(owned), "handed");
                    })
            .then("radio left", [&] { return rig.sent().endsWith(wire::kExit + wire::kResume); })
            .thenDo("two sweeps handed on",
                    [&] {
                        sentWithSource = rig.sent().size();
                        hand(live.span);
                        handed[31] = -50;
                        hand(live.span);
                        QTest::keyClick(w.view(), Qt::Key_F1);
                    })
            .then("marker on the peak",
                  [&] { return rig.state().texts.markerLine2.ends_with(" -50"); })
            .thenDo("strip, history, radio; another band",
                    [&] {
                        const QString fault = stripMismatch(w);
                        script.expect(fault.isEmpty(), "strip: " + fault);
                        script.expect(
                            w.history().levels(0)[31] == -50 && w.history().levels(1)[31] == -48,
                            "the history holds the sweeps handed on");
                        script.expect(w.windowTitle().startsWith("handed "), "title");
                        hand(live.span / 2);
                        script.expect(rig.state().settings.span == live.span / 2, "new band");
                        script.expect(rig.sent().size() == sentWithSource, "bytes to the radio");
                        w.findChild<QAction*>("Main_File_Live")->trigger();
                        rig.markSweep();
                    })
            .then("swept again", [&] { return rig.sweptSinceMark(); });
        QVERIFY2(script.run(w, 30000), qPrintable(script.report()));
        QVERIFY(sameBand(rig.state().settings, live));
        QVERIFY(!w.findChild<QAction*>("Main_File_Live")->isEnabled());
    }

    void recordingReadsBackAndStopsOnAWriteError() {
        Rig rig;
        QVERIFY(rig.start({"--replay", replay_}));
        MainWindow& w = rig.open();
        const QString recorded = dir_.filePath("recorded");
        rig.dialogs.savePath = recorded.toStdString();
        const auto action = [&](const char* name) { w.findChild<QAction*>(name)->trigger(); };
        const auto sweeps = [&](int count) {
            return [&rig, count, seen = 0]() mutable {
                if (rig.sweptSinceMark()) rig.markSweep(), ++seen;
                return seen >= count;
            };
        };
        QString titleWhileRecording;
        Script script;
        script.then("first sweep", [&] { return rig.state().lastSweepEnd != 0; })
            .thenDo("record", [&] { action("Main_File_Record"), rig.markSweep(); })
            .then("four sweeps", sweeps(4))
            .thenDo("stop",
                    [&] {
                        titleWhileRecording = w.windowTitle();
                        action("Main_File_StopRecording");
                        w.bandWatch().startRecording("/dev/full");
                    })
            .then("a failed write", [&] { return !w.bandWatch().recording(); })
            .thenDo("mark", [&] { rig.markSweep(); })
            .then("sweeps go on", sweeps(2));
        QVERIFY2(script.run(w, 60000), qPrintable(script.report()));
        QCOMPARE(titleWhileRecording, QString(kWindowTitle) + kRecordingTitleSuffix);
        QCOMPARE(w.windowTitle(), QString(kWindowTitle));
        QCOMPARE(rig.messages.shown.size(), std::size_t{1});
        QVERIFY(rig.messages.shown[0].starts_with("Recording stopped: cannot write /dev/full"));

        QFile file(recorded + ".csv");
        QVERIFY(file.open(QIODevice::ReadOnly));
        const sim::ReplayLoad load = sim::parseReplay(file.readAll().toStdString());
        QVERIFY2(load.rows.size() >= 4, load.error.c_str());
        const sim::ReplayRow replayed = sim::loadReplay(replay_.toStdString()).rows[0];
        for (std::size_t k = 0; k < load.rows.size(); ++k) {
            const sim::ReplayRow& row = load.rows[k];
            QVERIFY(row.lowHz == replayed.lowHz && row.highHz == replayed.highHz &&
                    row.stepHz == replayed.stepHz);
            const int which = row.levelsDb[0] == -95 ? 0 : 1;
            QCOMPARE(row.levelsDb, sweepLevels(which));
            if (k > 0) QVERIFY(row.levelsDb != load.rows[k - 1].levelsDb);
        }
    }

    // The logger on a simulator of its own writes the log; the window opens it before its
    // first sweep and follows it while the logger goes on.
    void loggerLogBrowsedAndFollowed() {
        test::SimProcess loggerSim;
        QTemporaryDir config;
        QVERIFY(loggerSim.start({"--replay", replay_}));
        QVERIFY(test::writeSettingsFile(test::settingsFile(config.path()), loggerSim.linkPath(),
                                        "Number of Points=50\n"));
        const QString log = dir_.filePath("logged.csv");
        QProcess logger;
        QVERIFY(test::startWithSettings(logger, "kv3710-power", config.path(), {"-q", log}));
        const auto logged = [&] {
            QFile file(log);
            QByteArray text = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
            return sim::parseReplay(text.left(text.lastIndexOf('\n') + 1).toStdString());
        };
        QVERIFY(QTest::qWaitFor([&] { return logged().rows.size() >= 3; }, 60000));
        Rig rig;
        QVERIFY(rig.start({"--replay", replay_}));
        MainWindow& w = rig.open();
        QVERIFY(w.openRecording(log.toStdString()));
        RecordingBrowser& browser = *w.browser();
        const auto levels = [&](std::size_t sweep) { return logged().rows.at(sweep).levelsDb; };
        // The trace's first, middle and last point show `expected`.
        const auto traceShows = [&](const std::vector<double>& expected) {
            const auto& trace = rig.state().trace;
            return std::ranges::all_of(std::array{0, 25, 49}, [&](int i) {
                return trace.at(i).amplitudeDb ==
                       levelOnGraph(rig.state().settings, expected.at(i));
            });
        };
        std::size_t sweeps = 0;
        Script script;
        script
            .then("the newest sweep",
                  [&] {
                      return rig.state().flags.autoStarted &&
                             traceShows(levels(browser.index().sweeps() - 1));
                  })
            .thenDo("Up, F1",
                    [&] {
                        QTest::keyClick(w.view(), Qt::Key_Up);
                        QTest::keyClick(w.view(), Qt::Key_F1);
                        const std::vector<double> older = levels(browser.cursor());
                        script.expect(
                            browser.cursor() + 2 == browser.index().sweeps() && traceShows(older),
                            "Up shows the sweep before");
                        script.expect(rig.state().markers.marker[0] ==
                                          std::ranges::max_element(older) - older.begin(),
                                      "peak search on the sweep shown");
                        // Below the few rows, a click picks the oldest.
                        QTest::mouseClick(w.bandWatch().strip(), Qt::LeftButton, {}, {9, 40});
                        script.expect(browser.cursor() == 0, "a click in the strip");
                        QTest::keyClick(w.view(), Qt::Key_End);
                        QTest::keyClick(w.view(), Qt::Key_Home);
                        script.expect(browser.cursor() == 0 && traceShows(levels(0)), "Home");
                        browser.select(0, 2);
                        std::vector<double> maximum = levels(0);
                        for (std::size_t i = 0; i < 50; ++i)
                            maximum[i] = std::max(maximum[i], levels(1)[i]);
                        script.expect(traceShows(maximum), "the range's maximum");
                        QTest::keyClick(w.view(), Qt::Key_A);
                        std::vector<double> mean = levels(0);
                        for (std::size_t i = 0; i < 50; ++i) mean[i] = (mean[i] + levels(1)[i]) / 2;
                        script.expect(
                            traceShows(mean) && rig.state().texts.commMessage.find(
                                                    "mean of sweeps 1 to 2") != std::string::npos,
                            "the range's mean with the average on");
                        QTest::keyClick(w.view(), Qt::Key_A);
                        QTest::keyClick(w.view(), Qt::Key_End);
                        sweeps = browser.index().sweeps();
                    })
            .then("the log grows on screen",
                  [&] {
                      return browser.index().sweeps() > sweeps &&
                             browser.cursor() + 1 == browser.index().sweeps() &&
                             traceShows(levels(browser.cursor()));
                  })
            .thenDo("strip", [&] {
                // The top row is the newest sweep, in its level's colour under point 49.
                const QImage strip = w.bandWatch().strip()->grab().toImage();
                const int x = w.surface().toDevice(rig.state().trace[49].xRight) - 1;
                const double newest = levels(browser.cursor())[49];
                script.expect(strip.pixel(x, 0) == opaquePixel(waterfallShadeColour(waterfallShade(
                                                       newest, rig.state().settings.amplitude))),
                              "the strip's top row is the newest sweep");
                script.expect(rig.sent().isEmpty(), "nothing sent to the radio");
                script.expect(w.history().size() == 0, "browsing feeds no sink");
            });
        QVERIFY2(script.run(w, 60000), qPrintable(script.report()));
        logger.terminate();
        QVERIFY(logger.waitForFinished(10000));
    }

    void damagedLinesCountedAndNoLogRefused() {
        QFile file(dir_.filePath("damaged.csv"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        const SettingValues band = test::defaultState().settings;
        file.write(formatSweepLine(band, LineTime{}, 1, sweepLevels(0)).c_str());
        file.write("2026-12-07, 03:00:00, 1000, 2000, 1.5e, 1, -50\n");
        file.write(formatSweepLine(band, LineTime{2026}, 1, sweepLevels(1)).c_str());
        file.write("2026-12-07, 03:00:0");
        file.close();
        QFile text(dir_.filePath("notes.txt"));
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write("hello\n") > 0);
        text.close();
        Rig rig;
        QVERIFY(rig.start({"--replay", replay_}));
        MainWindow& w = rig.open();
        QVERIFY(w.openRecording(file.fileName().toStdString()));
        QCOMPARE(w.browser()->index().sweeps(), std::size_t{2});
        QVERIFY(rig.state().texts.commMessage.ends_with("sweep 2 of 2, damaged lines skipped: 1"));
        const QString title = w.windowTitle();
        QVERIFY(!w.openRecording(text.fileName().toStdString()));
        QCOMPARE(rig.messages.shown.size(), std::size_t{1});
        QCOMPARE(rig.messages.shown[0], text.fileName().toStdString() +
                                            " is not a sweep log: line 1: fewer than 7 fields");
        QCOMPARE(w.windowTitle(), title);
        QCOMPARE(w.browser()->index().sweeps(), std::size_t{2});
        // A large file shows its newest sweep at once and is indexed whole on a thread; one
        // replaced and one closed while they index stop cleanly.
        QFile big(dir_.filePath("big.csv"));
        QVERIFY(big.open(QIODevice::WriteOnly));
        constexpr int kLines = 14000;
        for (int k = 0; k <= kLines; ++k)
            big.write(formatSweepLine(band, lineTimeAt(1'800'000'000 + k), 1,
                                      sweepLevels(k == kLines ? 1 : 0))
                          .c_str());
        big.close();
        for (int again = 0; again < 3; ++again) {
            QVERIFY(w.openRecording(big.fileName().toStdString()));
            QVERIFY(w.browser()->indexing() && w.browser()->index().sweeps() == 1);
            QCOMPARE(w.browser()->index().levels(0)->levelsDb, sweepLevels(1));
        }
        // Waited for from the sweep's loop, which a slow machine may have entered meanwhile;
        // the script's close comes while the last open indexes.
        Script script;
        script.then("indexed", [&] { return !w.browser()->indexing(); })
            .thenDo("the newest sweep; opened again", [&] {
                script.expect(rig.state().texts.commMessage.ends_with("sweep 14001 of 14001"),
                              "whole index");
                script.expect(w.openRecording(big.fileName().toStdString()), "opened again");
            });
        QVERIFY2(script.run(w, 60000), qPrintable(script.report()));
    }
};

// The alarm scene of the logger's MQTT test, against a -70 dB limit in the window: the line
// and the marks in the limit's colour and FAIL at the burst's point, the alarm in the readouts
// and the title while the hold rule has it, PASS after; the occupancy's bars on demand; L
// takes it all away.
void TestE2eWaterfall::limitDrawnAndChecked() {
    Rig rig;
    rig.store.writeAll("Limit", {{"On", "1"}, {"Level", "-70"}, {"Color", "16711935"}});
    QVERIFY(rig.start({"--noise-spread", "0", "--carrier", "10:-50@2-8", "--carrier",
                       "30:-69@6-16~2", "--carrier", "30:-71@16-19"}));
    MainWindow& w = rig.open();
    const auto shown = [&] { return w.state().texts.shownIn(ReadoutRow::LimitCheck); };
    const auto limitPixels = [&] {
        const QImage image = w.surface().image().convertToFormat(QImage::Format_RGB32);
        const auto* pixels = reinterpret_cast<const QRgb*>(image.constBits());
        return std::count(pixels, pixels + image.width() * image.height(),
                          toQColor(0xFF00FF).rgb());  // the limit's, stored as 16711935
    };
    const QString alarmed = QString::fromUtf8(kAlarmTitleSuffix);
    const std::string worst =
        "worst +20.0 dB at " + fixedText(pointFrequency(w.state().settings, 10), 3) + " MHz";
    Script script;
    script.then("FAIL", [&] { return shown().starts_with("FAIL"); })
        .thenDo("the line and the mark",
                [&] {
                    script.expect(shown().find(worst) != std::string::npos, "the worst point");
                    script.expect(limitPixels() > w.view()->width() * 3 / 4, "the line across");
                })
        .then("alarm in the title and the readouts",
              [&] {
                  return w.windowTitle().endsWith(alarmed) &&
                         shown().find("ALARM since ") != std::string::npos;
              })
        .thenDo("a recording meanwhile",
                [&] {
                    const QString title = QString(kWindowTitle) + alarmed;
                    w.bandWatch().startRecording(dir_.filePath("alarmed.csv").toStdString());
                    script.expect(
                        w.windowTitle() == QString(kWindowTitle) + kRecordingTitleSuffix + alarmed,
                        "recording and alarm in the title");
                    w.bandWatch().stopRecording();
                    script.expect(w.windowTitle() == title, "the alarm kept after the recording");
                })
        .then("cleared", [&] { return !w.windowTitle().endsWith(alarmed); })
        .thenDo("PASS",
                [&] {
                    script.expect(shown() == "PASS", "PASS after the episode");
                    const auto line = limitPixels();
                    w.findChild<QAction*>("Main_View_LimitOccupancy")->trigger();
                    script.expect(limitPixels() > line, "the occupancy's bars");
                    QTest::keyClick(w.view(), Qt::Key_L);
                })
        .then("L", [&] { return shown().empty() && limitPixels() == 0; });
    QVERIFY2(script.run(w, 60000), qPrintable(script.report()));
    QCOMPARE(rig.store.read("Limit", "On"), std::optional<std::string>("0"));
}

// Settings -> Limit...: from max hold 3 dB over the trace (PASS), read back from the settings,
// then a mask file that is not there (said, the dialog left open, the limit as it was).
void TestE2eWaterfall::limitFromTheTraceAndARefusedMask() {
    Rig rig;
    QVERIFY(rig.start({"--noise-spread", "0", "--carrier", "10:-50"}));
    MainWindow& w = rig.open();
    const auto shown = [&] { return w.state().texts.shownIn(ReadoutRow::LimitCheck); };
    const auto dialog = [&](const char* kind) {
        // A dialog closed before is gone, as the application's loop (which a test has not)
        // would have deleted it.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        w.findChild<QAction*>("Main_Settings_Limit")->trigger();
        QDialog* d = nullptr;
        for (QDialog* open : w.findChildren<QDialog*>())
            if (open->windowTitle() == "Limit") d = open;
        d->findChild<QRadioButton*>(kind)->setChecked(true);
        d->findChild<QDoubleSpinBox*>("Limit_Margin")->setValue(3);
        d->findChild<QLineEdit*>("Limit_FilePath")->setText(dir_.filePath("absent.csv"));
        d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        return d;
    };
    Script script;
    script.then("first sweep", [&] { return rig.state().lastSweepEnd != 0; })
        .thenDo("from max hold",
                [&] { script.expect(!dialog("Limit_MaxHold")->isVisible(), "closed by OK"); })
        .then("PASS", [&] { return shown() == "PASS"; })
        .thenDo("read back, then a mask that is not there",
                [&] {
                    script.expect(rig.store.read("Limit", "Kind") == "Max Hold", "kind stored");
                    script.expect(rig.store.read("Limit", "Mask").value_or("").find("-47") !=
                                      std::string::npos,
                                  "the mask 3 dB over the carrier");
                    w.limitWatch().load();  // as at the next start
                    const QDialog* refused = dialog("Limit_File");
                    script.expect(refused && refused->isVisible(), "the dialog left open");
                    script.expect(rig.messages.shown.size() == 1 &&
                                      rig.messages.shown[0].starts_with(
                                          "The mask " + dir_.filePath("absent.csv").toStdString() +
                                          " is refused"),
                                  "refused, said");
                })
        .then("the limit as it was", [&] { return shown() == "PASS"; });
    QVERIFY2(script.run(w, 30000), qPrintable(script.report()));
    QCOMPARE(rig.store.read("Limit", "Kind"), std::optional<std::string>("Max Hold"));
}

QTEST_MAIN(TestE2eWaterfall)
#include "test_e2e_waterfall.moc"
