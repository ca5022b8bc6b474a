// The real analyzer in a real window (Xvfb) on the simulated radio, used the way a person
// would: it starts sweeping by itself, F1 puts the marker on the strongest carrier, the close
// button releases the radio and saves the settings.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "e2e_rig.h"
#include "x_client.h"

using namespace kv::test;

namespace {

constexpr std::uint32_t kGreen = 0x00FF00;  // Graph Color 65280: only the trace
constexpr std::uint32_t kRed = 0xFF0000;    // Marker1 Color 255: only the marker

// The extent of the pixels of one colour.
struct Extent {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1, topX = 0;
    bool empty() const { return right < 0; }
};

Extent extentOf(const WindowImage& image, std::uint32_t colour) {
    Extent box;
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        if (image.pixels[i] != colour) continue;
        const int x = int(i % std::size_t(image.width));
        const int y = int(i / std::size_t(image.width));
        if (y < box.top) box.topX = x;  // the highest point
        box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x),
               std::max(box.bottom, y), box.topX};
    }
    return box;
}

}  // namespace

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
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display);
        env.insert("QT_QPA_PLATFORM", "xcb");
        analyzer.setProcessEnvironment(env);
        QVERIFY(startAnalyzer(analyzer, config.path()));

        auto x = std::make_unique<XClient>(display.toStdString());
        QVERIFY(x->connected());
        unsigned long window = 0;
        QVERIFY(QTest::qWaitFor(
            [&] { return (window = x->findWindow("Tessaryn Spectrum Analyzer")) != 0; }, 10000));
        // It sweeps by itself: a trace appears.
        WindowImage image;
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         image = x->grab(window).value_or(WindowImage{});
                         return std::count(image.pixels.begin(), image.pixels.end(), kGreen) > 200;
                     },
                     10000),
                 "no trace appeared");

        // F1 puts marker 1 on the strongest carrier: the diamond's bottom tip sits on the
        // highest vertex of the trace.
        x->pressKey(window, "F1");
        Extent marker;
        Extent trace;
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         image = x->grab(window).value_or(WindowImage{});
                         marker = extentOf(image, kRed);
                         trace = extentOf(image, kGreen);
                         return !marker.empty() &&
                                std::abs((marker.left + marker.right) / 2 - trace.topX) <= 3;
                     },
                     5000),
                 qPrintable(QString("marker at x %1, peak at x %2")
                                .arg((marker.left + marker.right) / 2)
                                .arg(trace.topX)));
        QVERIFY2(std::abs(marker.bottom - trace.top) <= 2,
                 qPrintable(QString("marker tip %1, peak %2").arg(marker.bottom).arg(trace.top)));
        QVERIFY(trace.right - trace.left > 600);  // the trace spans the window's plot

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
