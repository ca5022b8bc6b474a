// Frequencies, level positions and trace columns: the numbers every other part builds on.
#include <QtTest>

#include "default_settings.h"
#include "recording_surface.h"
#include "spectrum_model.h"

using namespace kv;

class TestSpectrumModel : public QObject {
    Q_OBJECT
  private slots:
    void pointFrequency_data() {
        QTest::addColumn<int>("points");
        QTest::addColumn<int>("point");
        QTest::addColumn<double>("mhz");
        QTest::newRow("first of 50") << 50 << 0 << 902.5098039215686;
        QTest::newRow("last of 50") << 50 << 49 << 927.4901960784314;
        QTest::newRow("one point is the centre") << 1 << 0 << 915.0;
        QTest::newRow("last of 256") << 256 << 255 << 927.8988326848249;
    }
    void pointFrequency() {
        QFETCH(int, points);
        QFETCH(int, point);
        QFETCH(double, mhz);
        SettingValues s = test::defaultSettings();
        s.numberOfPoints = static_cast<std::int16_t>(points);
        QCOMPARE(kv::pointFrequency(s, point), mhz);
    }

    void levelToY_data() {
        QTest::addColumn<int>("graphBottom");
        QTest::addColumn<float>("height");
        QTest::addColumn<double>("level");
        QTest::addColumn<int>("y");
        // The laid-out window: the plot runs from 500 to 7530 for -40 .. -110 dB.
        QTest::newRow("top edge") << 1200 << 8730.0f << -40.0 << 500;
        QTest::newRow("bottom edge") << 1200 << 8730.0f << -110.0 << 7530;
        QTest::newRow("80 dB down is 10 dB below the box") << 1200 << 8730.0f << -120.0 << 8534;
        QTest::newRow("above the reference mirrors") << 1200 << 8730.0f << -30.0 << 1504;
        // A plot 35 high: half-units round to even.
        QTest::newRow("500.5 to 500") << 1000 << 1535.0f << -41.0 << 500;
        QTest::newRow("501.5 to 502") << 1000 << 1535.0f << -43.0 << 502;
    }
    void levelToY() {
        QFETCH(int, graphBottom);
        QFETCH(float, height);
        QFETCH(double, level);
        QFETCH(int, y);
        SettingValues s = test::defaultSettings();
        s.graphBottom = static_cast<std::int16_t>(graphBottom);
        QCOMPARE(kv::levelToY(s, level, height), y);
    }

    void layoutTracePoints_data() {
        QTest::addColumn<int>("points");
        QTest::addColumn<int>("point");
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("right");
        QTest::addColumn<int>("centre");
        QTest::newRow("one point spans the plot") << 1 << 0 << 500 << 10255 << 5378;
        QTest::newRow("50: first") << 50 << 0 << 500 << 695 << 598;
        QTest::newRow("50: second, centre to even") << 50 << 1 << 695 << 890 << 792;
        QTest::newRow("50: last") << 50 << 49 << 10060 << 10255 << 10158;
        QTest::newRow("256: first") << 256 << 0 << 500 << 538 << 519;
        QTest::newRow("256: last") << 256 << 255 << 10217 << 10255 << 10236;
    }
    void layoutTracePoints() {
        QFETCH(int, points);
        QFETCH(int, point);
        QFETCH(int, left);
        QFETCH(int, right);
        QFETCH(int, centre);
        SharedState state;
        state.settings = test::defaultSettings();
        state.settings.numberOfPoints = static_cast<std::int16_t>(points);
        createTraceArrays(state);
        state.trace[std::size_t(point)].yOut = 1234;
        RecordingSurface surface(10755, 8730);
        kv::layoutTracePoints(state, surface);
        const TracePoint& p = state.trace[std::size_t(point)];
        QCOMPARE(p.xLeft, left);
        QCOMPARE(p.xRight, right);
        QCOMPARE(p.xCenter, centre);
        QCOMPARE(p.yOut, 1234);  // the columns only
        QCOMPARE(state.previousTrace[std::size_t(point)].xLeft, 0);
    }
};

QTEST_GUILESS_MAIN(TestSpectrumModel)
#include "test_spectrum_model.moc"
