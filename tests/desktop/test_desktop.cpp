// The real analyzer in a real window (Xvfb) on the simulated radio, used the way a person
// would: it starts sweeping by itself, F1 finds the strongest carrier, the close button
// releases the radio and saves the settings.
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "sim_process.h"
#include "x_client.h"

using namespace kv::test;

namespace {

constexpr std::uint32_t kBlack = 0x000000;  // Background Color 0
constexpr std::uint32_t kGreen = 0x00FF00;  // Graph Color 65280
constexpr std::uint32_t kRed = 0xFF0000;    // Marker1 Color 255
constexpr const char* kTitle = "Tessaryn Spectrum Analyzer";

struct Box {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
    void add(int x, int y) {
        left = std::min(left, x);
        top = std::min(top, y);
        right = std::max(right, x);
        bottom = std::max(bottom, y);
    }
    bool empty() const { return right < 0; }
};

Box boxOf(const WindowImage& image, std::uint32_t colour, const Box& within) {
    Box box;
    for (int y = within.top; y <= within.bottom; ++y)
        for (int x = within.left; x <= within.right; ++x)
            if (image.at(x, y) == colour) box.add(x, y);
    return box;
}

// The plot box: the rows and columns that are mostly background black.
Box plotBoxOf(const WindowImage& image) {
    Box box;
    std::vector<int> rows(static_cast<std::size_t>(image.height));
    std::vector<int> columns(static_cast<std::size_t>(image.width));
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            if (image.at(x, y) == kBlack) ++rows[std::size_t(y)], ++columns[std::size_t(x)];
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            if (rows[std::size_t(y)] > image.width / 3 &&
                columns[std::size_t(x)] > image.height / 3)
                box.add(x, y);
    return box;
}

int countOf(const WindowImage& image, std::uint32_t colour, const Box& within) {
    int n = 0;
    for (int y = within.top; y <= within.bottom; ++y)
        for (int x = within.left; x <= within.right; ++x) n += image.at(x, y) == colour;
    return n;
}

// Starts a private X server and returns its display name.
QString startXvfb(QProcess& xvfb) {
    xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
    if (!xvfb.waitForStarted(5000)) return {};
    QElapsedTimer t;
    t.start();
    while (!xvfb.canReadLine() && t.elapsed() < 10000) xvfb.waitForReadyRead(100);
    const QString number = QString::fromUtf8(xvfb.readLine()).trimmed();
    return number.isEmpty() ? QString() : ":" + number;
}

}  // namespace

class TestDesktop : public QObject {
    Q_OBJECT
  private slots:
    void sweepsFindsThePeakAndClosesCleanly() {
        QProcess xvfb;
        const QString display = startXvfb(xvfb);
        if (display.isEmpty()) QSKIP("Xvfb is not available");

        SimProcess sim;
        const QString wireLog = sim.folder() + "/wire.log";
        // The strongest carrier is on channel 37; no hopping transmitter, for a steady peak.
        QVERIFY(sim.start({"--baud", "115200", "--seed", "3", "--carrier", "8:-60:2", "--carrier",
                           "37:-48:1", "--carrier", "22:-62:3", "--log", wireLog}));

        QTemporaryDir config;
        const QString ini = config.filePath("KV3710 Spectrum Analyzer.exe.ini");
        {
            QFile f(ini);
            QVERIFY(f.open(QIODevice::WriteOnly));
            // Labels and readouts in colours of their own, so that green is only the trace
            // and red only the marker; the plot box is the only black.
            f.write(
                "[Settings]\nLabel Color=8421504\nMessage Color=16777215\n"
                "Marker1 Color=255\n[Ports]\nCOM1=" +
                sim.linkPath().toUtf8() + "\n");
        }
        QProcess analyzer;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display);
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("XDG_CONFIG_HOME", config.path());
        analyzer.setProcessEnvironment(env);
        analyzer.start(SimProcess::executable("kv3710-analyzer"), {});
        QVERIFY(analyzer.waitForStarted(5000));

        auto x = std::make_unique<XClient>(display.toStdString());
        QVERIFY(x->connected());
        unsigned long window = 0;
        QVERIFY(QTest::qWaitFor([&] { return (window = x->findWindow(kTitle)) != 0; }, 10000));

        // It sweeps by itself: a trace in the graph colour appears inside the plot box.
        Box plot;
        std::optional<WindowImage> image;
        const bool traced = QTest::qWaitFor(
            [&] {
                image = x->grab(window);
                if (!image) return false;
                plot = plotBoxOf(*image);
                return !plot.empty() && countOf(*image, kGreen, plot) > 200;
            },
            10000);
        QVERIFY2(traced, "no trace appeared");
        QVERIFY(sim.stat("sweeps") >= 1);
        QVERIFY2(plot.right - plot.left > 600, "plot box not found at the window's size");

        // F1 puts marker 1 on the strongest carrier: the diamond's bottom tip sits on the
        // highest vertex of the trace, in the column of channel 37.
        const int width = plot.right - plot.left + 1;
        const double column = double(width) / 50;
        auto inPeakColumn = [&](int x) {
            return x > plot.left + 37 * column && x < plot.left + 38 * column;
        };
        QVERIFY(x->pressKey(window, "F1"));
        Box marker;
        Box trace;
        const bool marked = QTest::qWaitFor(
            [&] {
                image = x->grab(window);
                if (!image) return false;
                marker = boxOf(*image, kRed, plot);
                trace = boxOf(*image, kGreen, plot);
                return !marker.empty() && inPeakColumn((marker.left + marker.right) / 2);
            },
            5000);
        QVERIFY2(marked, "no marker after F1");
        if (qEnvironmentVariableIsSet("KV_DEBUG_SHOT")) {
            QImage shot(image->width, image->height, QImage::Format_RGB32);
            for (int y = 0; y < image->height; ++y)
                for (int xx = 0; xx < image->width; ++xx) shot.setPixel(xx, y, image->at(xx, y));
            shot.save(qEnvironmentVariable("KV_DEBUG_SHOT"));
        }
        const int markerX = (marker.left + marker.right) / 2;
        QVERIFY2(inPeakColumn(markerX), qPrintable(QString("marker at x %1, plot %2..%3")
                                                       .arg(markerX)
                                                       .arg(plot.left)
                                                       .arg(plot.right)));
        QVERIFY2(std::abs(marker.bottom - trace.top) <= 2,
                 qPrintable(QString("marker tip %1, peak %2").arg(marker.bottom).arg(trace.top)));

        // The close button: the radio leaves command mode and the five keys are saved.
        x->requestClose(window);
        QVERIFY(analyzer.waitForFinished(10000));
        QCOMPARE(analyzer.exitStatus(), QProcess::NormalExit);
        QCOMPARE(analyzer.exitCode(), 0);
        const QString stats = sim.command("stats");
        QVERIFY2(stats.contains("mode=data"), qPrintable(stats));
        QFile log(wireLog);
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QString wire = QString::fromLatin1(log.readAll());
        const auto exitAt = wire.lastIndexOf(QRegularExpression(" in  56\\n"));
        QVERIFY2(exitAt >= 0, "no exit sequence on the wire");
        QVERIFY(wire.indexOf(" in  CC 41 54 4F 0D", exitAt) > exitAt);

        QSettings stored(ini, QSettings::IniFormat);
        for (const char* key : {"Port", "Center Frequency", "Span", "Amplitude", "Attenuator"})
            QVERIFY2(stored.contains(QString("Settings/") + key), key);
        QCOMPARE(stored.value("Settings/Center Frequency").toString(), QString("915"));
        QCOMPARE(stored.value("Ports/COM1").toString(), sim.linkPath());

        x.reset();  // before the server goes, or Xlib ends this process
        xvfb.terminate();
        xvfb.waitForFinished(5000);
    }
};

QTEST_GUILESS_MAIN(TestDesktop)
#include "test_desktop.moc"
