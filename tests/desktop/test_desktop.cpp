// SPDX-License-Identifier: GPL-3.0-or-later
// The real analyzer in a real window (Xvfb) on the simulated radio, used the way a person
// would: it starts sweeping by itself, F1 puts the marker on the strongest carrier, the close
// button and File -> Exit release the radio and save the settings.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "e2e_rig.h"
#include "titles.h"
#include "x_client.h"

using namespace kv::test;

class TestDesktop : public QObject {
    Q_OBJECT

    QProcess xvfb_;
    QString display_;
    SimProcess sim_;
    QTemporaryDir config_;
    const QString file_ = settingsFile(config_.path());

    // The analyzer on the display and the simulator, its window found.
    // With `statusLog` its status line's changes come on its standard error.
    bool startAnalyzer(QProcess& analyzer, XClient& x, unsigned long& window,
                       bool statusLog = false) {
        analyzer.setProcessChannelMode(statusLog ? QProcess::SeparateChannels
                                                 : QProcess::ForwardedErrorChannel);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (statusLog) env.insert("QT_LOGGING_RULES", "kv3710.window.debug=true");
        env.insert("DISPLAY", display_);
        env.insert("QT_QPA_PLATFORM", "xcb");
        analyzer.setProcessEnvironment(env);
        return startWithSettings(analyzer, "kv3710-analyzer", config_.path()) && x.connected() &&
               QTest::qWaitFor([&] { return (window = x.findWindow(kv::kWindowTitle)) != 0; },
                               10000);
    }

  private slots:
    void initTestCase() {
        // No reset when the last client goes: the next test's connection would fail during it.
        if (!startTied(
                xvfb_, "Xvfb",
                {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"}))
            QSKIP("Xvfb is not available");
        QVERIFY(QTest::qWaitFor([&] { return xvfb_.canReadLine(); }, 10000));
        display_ = ":" + QString::fromUtf8(xvfb_.readLine()).trimmed();
        // The strongest carrier is on channel 37; no hopping transmitter, for a steady peak.
        QVERIFY(sim_.start({"--seed", "3", "--carrier", "8:-60:2", "--carrier", "37:-48:1",
                            "--carrier", "22:-62:3"}));
        // Labels and readouts in colours of their own, so that green is only the trace and
        // red only the marker.
        QVERIFY(writeSettingsFile(file_, sim_.linkPath(),
                                  kv::e2e::kOldSettings +
                                      "Label Color=8421504\nMessage Color=16777215\n"
                                      "Marker1 Color=255\n"));
    }
    void cleanupTestCase() {
        xvfb_.terminate();
        xvfb_.waitForFinished(5000);
    }

    void sweepsFindsThePeakAndClosesCleanly() {
        QProcess analyzer;
        auto x = std::make_unique<XClient>(display_.toStdString());
        unsigned long window = 0;
        QVERIFY(startAnalyzer(analyzer, *x, window));
        constexpr std::uint32_t kGreen = 0x00FF00;  // Graph Color 65280: only the trace
        constexpr std::uint32_t kRed = 0xFF0000;    // Marker1 Color 255: only the marker
        WindowImage image;
        Box all, trace, marker;
        int peakX = 0;  // the left end of the trace's highest row
        const auto look = [&] {
            image = x->grab(window).value_or(WindowImage{});
            all = {0, 0, image.width - 1, image.height - 1};
            trace = boxOf(image, kGreen, all);
            marker = boxOf(image, kRed, all);
            if (!trace.empty())
                peakX = boxOf(image, kGreen, {all.left, trace.top, all.right, trace.top}).left;
        };
        // It sweeps by itself: a trace appears across the plot.
        QVERIFY2(QTest::qWaitFor([&] { return look(), trace.right - trace.left > 600; }, 10000),
                 "no trace appeared");

        // F1 puts marker 1 on the strongest carrier: the diamond's bottom tip sits on the
        // highest vertex of the trace.
        x->pressKey(window, "F1");
        const auto markerOnPeak = [&] {
            look();
            return !marker.empty() && std::abs((marker.left + marker.right) / 2 - peakX) <= 3 &&
                   std::abs(marker.bottom - trace.top) <= 2;
        };
        QVERIFY2(
            QTest::qWaitFor(markerOnPeak, 5000),
            qPrintable(QString::asprintf("marker %d..%d down to %d; peak at %d, %d", marker.left,
                                         marker.right, marker.bottom, peakX, trace.top)));

        // The close button releases the radio and saves.
        x->requestClose(window);
        const QString fault = kv::e2e::closedCleanly(analyzer, sim_, file_);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
    }

    // The status line and the Trace menu's check marks follow keys typed into the picture;
    // Alt+T, typed as a person would, opens the menu.
    void modesFollowTheKeys() {
        XClient x(display_.toStdString());
        QProcess analyzer;
        unsigned long window = 0;
        QVERIFY(startAnalyzer(analyzer, x, window, true));
        QString log;
        const auto logged = [&](const QString& what) {
            return QTest::qWaitFor(
                [&] {
                    log += QString::fromUtf8(analyzer.readAllStandardError());
                    const QString modes = log.section("Status_Modes", -1).section('\n', 0, 0);
                    return what.startsWith(' ') ? modes == what : log.contains(what);
                },
                10000);
        };
        // The Trace menu, opened as a person would, says what it shows checked; then closed
        // once it is up (drawn and still, so that it holds the keyboard).
        const auto traceMenu = [&](const QString& checked) {
            x.pressKey(window, "Alt_L+t");
            std::optional<WindowImage> shot, before;
            const bool shown = logged("Main_Trace checked: " + checked + '\n') &&
                               QTest::qWaitFor(
                                   [&] {
                                       const unsigned long p = x.popup();
                                       before = std::exchange(shot, p ? x.grab(p) : std::nullopt);
                                       return shot && before && shot->pixels == before->pixels;
                                   },
                                   10000);
            x.pressKey(0, "Escape");
            const bool closed = QTest::qWaitFor([&] { return !x.popupShown(); }, 5000);
            x.pressKey(0, "Escape");  // out of the menu bar, back to the picture
            return shown && closed;
        };
        QVERIFY2(logged("sweeps/s"), qPrintable(log));
        QVERIFY2(traceMenu(""), qPrintable(log));
        x.pressKey(window, "F2");
        QVERIFY2(logged(" MAX HOLD"), qPrintable(log));
        QVERIFY2(traceMenu("Main_Trace_MaxHold"), qPrintable(log));
        x.pressKey(window, "F6");
        x.pressKey(window, "a");
        QVERIFY2(logged(" MAX HOLD   VIEW ONLY   AVG 10"), qPrintable(log));
        QVERIFY2(traceMenu("Main_Trace_MaxHold Main_Trace_ViewOnly"), qPrintable(log));
        for (const char* key : {"F2", "F6", "a"}) x.pressKey(window, key);
        QVERIFY2(logged(" "), qPrintable(log));
        log.clear();
        QVERIFY2(traceMenu(""), qPrintable(log));
        x.requestClose(window);
        const QString fault = kv::e2e::closedCleanly(analyzer, sim_, file_);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
    }

    // Exit from the menu in the middle of a sweep leaves a working radio out of command mode,
    // as the close button does, so the next start finds it answering at once.
    void menuExitReleasesTheRadio() {
        XClient x(display_.toStdString());
        for (int round = 0; round < 5; ++round) {
            QProcess analyzer;
            unsigned long window = 0;
            QVERIFY(startAnalyzer(analyzer, x, window));
            const qint64 sweeps = sim_.stat("sweeps");
            QVERIFY(QTest::qWaitFor([&] { return sim_.stat("sweeps") > sweeps + 1; }, 10000));
            x.click(window, 18, 10);  // "File", at the left end of the menu bar
            QVERIFY(QTest::qWaitFor([&] { return x.popupShown(); }, 5000));
            x.pressKey(0, "Up");  // from the bottom: Exit
            x.pressKey(0, "Return");
            const QString fault = kv::e2e::closedCleanly(analyzer, sim_, file_);
            QVERIFY2(fault.isEmpty(), qPrintable(QString("round %1: %2").arg(round).arg(fault)));
        }
    }

    // A dialog left open does not stop the instrument: the sweep goes on, measured, for longer
    // than a reply's time-out; SIGTERM then still ends the program cleanly.
    void dialogOpenMidSweep_data() {
        QTest::addColumn<int>("downs");  // from the top of the File menu
        QTest::addColumn<QString>("title");
        QTest::newRow("Save") << 2 << "Save";
        QTest::newRow("Print") << 1 << "Print";
    }
    void dialogOpenMidSweep() {
        QFETCH(int, downs);
        QFETCH(QString, title);
        XClient x(display_.toStdString());
        QProcess analyzer;
        unsigned long window = 0;
        QVERIFY(startAnalyzer(analyzer, x, window));
        const qint64 sweeps = sim_.stat("sweeps");
        QVERIFY(QTest::qWaitFor([&] { return sim_.stat("sweeps") > sweeps + 1; }, 10000));
        x.click(window, 18, 10);
        QVERIFY(QTest::qWaitFor([&] { return x.popupShown(); }, 5000));
        for (int i = 0; i < downs; ++i) x.pressKey(0, "Down");
        x.pressKey(0, "Return");
        QVERIFY(QTest::qWaitFor([&] { return x.findWindow(title.toStdString()) != 0; }, 10000));
        const qint64 atOpen = sim_.stat("sweeps");
        QVERIFY2(QTest::qWaitFor([&] { return sim_.stat("sweeps") > atOpen + 40; }, 20000),
                 "no sweep while the dialog is open");
        QVERIFY(x.findWindow(title.toStdString()) != 0);
        analyzer.terminate();
        const QString fault = kv::e2e::closedCleanly(analyzer, sim_, file_);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
    }
};

QTEST_GUILESS_MAIN(TestDesktop)
#include "test_desktop.moc"
