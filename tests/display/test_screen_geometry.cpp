#include <QtTest>
#include <string>
#include <vector>

#include "number_format.h"
#include "screen_geometry.h"

using namespace kv;

Q_DECLARE_METATYPE(std::string)

class ScreenGeometryTest : public QObject {
    Q_OBJECT
  private slots:
    void labelTexts_data();
    void labelTexts();
    void markerValueTexts_data();
    void markerValueTexts();
    void settingValueTexts_data();
    void settingValueTexts();
    void legendForPlotWidth_data();
    void legendForPlotWidth();
    void legendLayoutReadsSizeAtEveryStep();
    void labelValues_data();
    void labelValues();
};

void ScreenGeometryTest::labelTexts_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<std::string>("text");
    QTest::newRow("whole") << 902.0 << std::string("902");
    QTest::newRow("single 904.6") << double(904.6f) << std::string("904.6");
    QTest::newRow("single 907.2") << double(907.2f) << std::string("907.2");
    QTest::newRow("negative") << -63.333333 << std::string("-63.3");
    QTest::newRow("tie to even down") << 0.25 << std::string("0.2");
    QTest::newRow("tie to even up") << 0.75 << std::string("0.8");
    QTest::newRow("negative tie") << -0.25 << std::string("-0.2");
    QTest::newRow("no minus zero") << -0.04 << std::string("0");
    QTest::newRow("rounds to whole") << 927.96 << std::string("928");
    QTest::newRow("no exponent") << 1e20 << std::string("100000000000000000000");
}

void ScreenGeometryTest::labelTexts() {
    QFETCH(double, value);
    QFETCH(std::string, text);
    QCOMPARE(labelText(value), text);
}

void ScreenGeometryTest::markerValueTexts_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<std::string>("text");
    QTest::newRow("point 0") << 915.0 - 13 + 26.0 / 51 << std::string("902.5");
    QTest::newRow("level") << -67.0 << std::string("-67");
    QTest::newRow("leading zero") << 0.25 << std::string("0.2");
    QTest::newRow("delta") << 10 * 26.0 / 51 << std::string("5.1");
    QTest::newRow("negative delta") << -10 * 26.0 / 51 << std::string("-5.1");
    QTest::newRow("zero") << 0.0 << std::string("0");
}

void ScreenGeometryTest::markerValueTexts() {
    QFETCH(double, value);
    QFETCH(std::string, text);
    QCOMPARE(markerValueText(value), text);
}

void ScreenGeometryTest::settingValueTexts_data() {
    QTest::addColumn<float>("value");
    QTest::addColumn<std::string>("text");
    QTest::newRow("915") << 915.0f << std::string("915");
    QTest::newRow("26") << 26.0f << std::string("26");
    QTest::newRow("-40") << -40.0f << std::string("-40");
    QTest::newRow("2437.5") << 2437.5f << std::string("2437.5");
    QTest::newRow("2441.5") << 2441.5f << std::string("2441.5");
    QTest::newRow("seven digits") << 902.51f << std::string("902.51");
    QTest::newRow("single noise hidden") << 0.1f << std::string("0.1");
    QTest::newRow("minus zero") << -0.0f << std::string("0");
}

void ScreenGeometryTest::settingValueTexts() {
    QFETCH(float, value);
    QFETCH(std::string, text);
    QCOMPARE(settingValueText(value), text);
}

void ScreenGeometryTest::legendForPlotWidth_data() {
    QTest::addColumn<double>("plotWidth");
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("graphBottom");
    QTest::newRow("0") << 0.0 << 1 << 9 << 2400;
    QTest::newRow("2099") << 2099.0 << 1 << 9 << 2400;
    QTest::newRow("2100") << 2100.0 << 1 << 9 << 2400;
    QTest::newRow("4199") << 4199.0 << 1 << 9 << 2400;
    QTest::newRow("4200") << 4200.0 << 2 << 5 << 1600;
    QTest::newRow("9755") << 9755.0 << 4 << 3 << 1200;
    QTest::newRow("10499") << 10499.0 << 4 << 3 << 1200;
    QTest::newRow("10500") << 10500.0 << 5 << 2 << 1000;
    QTest::newRow("12600") << 12600.0 << 6 << 2 << 1000;
    QTest::newRow("18899") << 18899.0 << 8 << 2 << 1000;
    QTest::newRow("18900") << 18900.0 << 9 << 1 << 800;
    QTest::newRow("37800") << 37800.0 << 18 << 1 << 800;
    // A plot narrower than nothing still gets one column, and the layout ends.
    QTest::newRow("negative") << -3000.0 << 1 << 9 << 2400;
    QTest::newRow("very negative") << -70000.0 << 1 << 9 << 2400;
}

void ScreenGeometryTest::legendForPlotWidth() {
    QFETCH(double, plotWidth);
    QFETCH(int, columns);
    QFETCH(int, rows);
    QFETCH(int, graphBottom);
    const auto l = layoutLegendFor(plotWidth + 1000, 8730, 500, 500);
    QCOMPARE(l.columns, columns);
    QCOMPARE(l.rows, rows);
    QCOMPARE(int(l.graphBottom), graphBottom);
    QCOMPARE(l.positions[0].y, 8730 - (rows + 1) * 200);
    // Legend text k sits in column (k - 1) mod columns and row (k - 1) div columns + 1.
    for (int k = 1; k <= 9; ++k) {
        const int row = (k - 1) / columns + 1;
        QCOMPARE(l.positions[k].y, l.positions[0].y + 100 + (row - 1) * 200);
    }
}

void ScreenGeometryTest::legendLayoutReadsSizeAtEveryStep() {
    int widthReads = 0;
    int heightReads = 0;
    const auto l = layoutLegendFor([&] { return ++widthReads, 10755.0; },
                                   [&] { return ++heightReads, 8730.0; }, 500, 500);
    QCOMPARE(l.positions[9].y, 8430);
    // Once for the columns and once per legend text; once for the separator, the bottom
    // margin and per legend text.
    QCOMPARE(widthReads, 1 + 9);
    QCOMPARE(heightReads, 2 + 9);
}

void ScreenGeometryTest::labelValues_data() {
    QTest::addColumn<int>("divisions");
    QTest::addColumn<QStringList>("frequencies");
    QTest::addColumn<QStringList>("amplitudes");
    QTest::newRow("10") << 10 << QStringList{"902",   "904.6", "907.2", "909.8", "912.4", "915",
                                             "917.6", "920.2", "922.8", "925.4", "928"}
                        << QStringList{"-40", "-47", "-54", "-61",  "-68", "-75",
                                       "-82", "-89", "-96", "-103", "-110"};
    QTest::newRow("3") << 3 << QStringList{"902", "910.7", "919.3", "928"}
                       << QStringList{"-40", "-63.3", "-86.7", "-110"};
}

void ScreenGeometryTest::labelValues() {
    QFETCH(int, divisions);
    QFETCH(QStringList, frequencies);
    QFETCH(QStringList, amplitudes);
    QStringList f;
    QStringList a;
    for (int i = 0; i <= divisions; ++i) {
        f << QString::fromStdString(labelText(frequencyLabelValue(915, 26, divisions, i)));
        a << QString::fromStdString(labelText(amplitudeLabelValue(-40, divisions, i)));
    }
    QCOMPARE(f, frequencies);
    QCOMPARE(a, amplitudes);
}

QTEST_APPLESS_MAIN(ScreenGeometryTest)
#include "test_screen_geometry.moc"
