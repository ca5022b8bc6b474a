// SPDX-License-Identifier: GPL-3.0-or-later
// The real analyzer in a real window (Xvfb) on the simulated radio, used the way a person
// would: it starts sweeping by itself, F1 puts the marker on the strongest carrier, the close
// button releases the radio and saves the settings.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "e2e_rig.h"
#include "x_client.h"

using namespace kv::test;

class TestDesktop : public QObject {
    Q_OBJECT
  private slots:
    void sweepsFindsThePeakAndClosesCleanly() {
        QProcess xvfb;
        if (!startTied(xvfb, "Xvfb",
                       {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"}))
            QSKIP("Xvfb is not available");
        QVERIFY(QTest::qWaitFor([&] { return xvfb.canReadLine(); }, 10000));
        const QString display = ":" + QString::fromUtf8(xvfb.readLine()).trimmed();

        SimProcess sim;
        // The strongest carrier is on channel 37; no hopping transmitter, for a steady peak.
        QVERIFY(sim.start({"--seed", "3", "--carrier", "8:-60:2", "--carrier", "37:-48:1",
                           "--carrier", "22:-62:3"}));
        QTemporaryDir config;
        // Labels and readouts in colours of their own, so that green is only the trace and
        // red only the marker.
        const QString file = settingsFile(config.path());
        QVERIFY(writeSettingsFile(file, sim.linkPath(),
                                  kv::e2e::kOldSettings +
                                      "Label Color=8421504\nMessage Color=16777215\n"
                                      "Marker1 Color=255\n"));
        QProcess analyzer;
        analyzer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display);
        env.insert("QT_QPA_PLATFORM", "xcb");
        analyzer.setProcessEnvironment(env);
        QVERIFY(startWithSettings(analyzer, "kv3710-analyzer", config.path()));

        auto x = std::make_unique<XClient>(display.toStdString());
        unsigned long window = 0;
        QVERIFY(x->connected() &&
                QTest::qWaitFor(
                    [&] { return (window = x->findWindow("Tessaryn Spectrum Analyzer")) != 0; },
                    10000));
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
        const QString fault = kv::e2e::closedCleanly(analyzer, sim, file);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
        x.reset();  // before the server goes, or Xlib ends this process
        xvfb.terminate();
        xvfb.waitForFinished(5000);
    }
};

QTEST_GUILESS_MAIN(TestDesktop)
#include "test_desktop.moc"
