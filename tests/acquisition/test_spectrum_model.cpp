// Frequencies, level positions and trace columns at their edges, where rounding shows.
#include <QtTest>

#include "default_settings.h"
#include "recording_surface.h"
#include "spectrum_model.h"

using namespace kv;

class TestSpectrumModel : public QObject {
    Q_OBJECT
  private slots:
    void levelToY_data() {
        QTest::addColumn<int>("graphBottom");
        QTest::addColumn<float>("height");
        QTest::addColumn<double>("level");
        QTest::addColumn<int>("y");
        // The laid-out window: the plot runs from 500 to 7530 for -40 .. -110 dB.
        QTest::newRow("top edge") << 1200 << 8730.0f << -40.0 << 500;
        QTest::newRow("bottom edge") << 1200 << 8730.0f << -110.0 << 7530;
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

    void tracePoints_data() {
        QTest::addColumn<int>("points");
        QTest::addColumn<int>("point");
        QTest::addColumn<QList<int>>("leftRightCentre");
        QTest::addColumn<double>("mhz");
        QTest::newRow("one point") << 1 << 0 << QList<int>{500, 10255, 5378} << 915.0;
        QTest::newRow("50: first") << 50 << 0 << QList<int>{500, 695, 598} << 902.5098039215686;
        QTest::newRow("50: second, centre to even")
            << 50 << 1 << QList<int>{695, 890, 792} << 903.0196078431372;
        QTest::newRow("256: last")
            << 256 << 255 << QList<int>{10217, 10255, 10236} << 927.8988326848249;
    }
    void tracePoints() {
        QFETCH(int, points);
        QFETCH(int, point);
        QFETCH(QList<int>, leftRightCentre);
        QFETCH(double, mhz);
        SharedState state;
        state.settings = test::defaultSettings();
        state.settings.numberOfPoints = static_cast<std::int16_t>(points);
        createTraceArrays(state);
        state.trace[std::size_t(point)].yOut = 1234;
        RecordingSurface surface(10755, 8730);
        layoutTracePoints(state, surface);
        const TracePoint& p = state.trace[std::size_t(point)];
        QCOMPARE((QList<int>{p.xLeft, p.xRight, p.xCenter}), leftRightCentre);
        QCOMPARE(p.yOut, 1234);  // the columns only
        QCOMPARE(pointFrequency(state.settings, point), mhz);
    }
};

QTEST_GUILESS_MAIN(TestSpectrumModel)
#include "test_spectrum_model.moc"
