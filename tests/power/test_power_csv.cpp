// The logger's CSV line as waterfall readers parse it, and how an interval combines sweeps.
#include <QtTest>
#include <vector>

#include "sweep_csv.h"

using namespace kv::power;

class PowerCsvTest : public QObject {
    Q_OBJECT
  private slots:
    void lineFields_data();
    void lineFields();
    void intervalCombines();
};

void PowerCsvTest::lineFields_data() {
    QTest::addColumn<float>("center");
    QTest::addColumn<float>("span");
    QTest::addColumn<int>("points");
    QTest::addColumn<QString>("frequencies");
    // Hz high is the upper edge of the last point (Hz low + points x step), so that readers
    // that stop at Hz high keep the last point.
    QTest::newRow("defaults") << 915.0f << 26.0f << 50 << "902509804, 928000000, 509803.92";
    QTest::newRow("one point") << 433.5f << 0.25f << 1 << "433500000, 433625000, 125000.00";
    // 2441.5 +- 41.5 in single precision; the step rounds to 2 decimals.
    QTest::newRow("256 points") << 2441.5f << 83.0f << 256 << "2400322957, 2483000000, 322957.20";
}

void PowerCsvTest::lineFields() {
    QFETCH(float, center);
    QFETCH(float, span);
    QFETCH(int, points);
    QFETCH(QString, frequencies);
    kv::SettingValues band;
    band.centerFrequency = center;
    band.span = span;
    band.numberOfPoints = static_cast<std::int16_t>(points);
    std::vector<double> levels(static_cast<std::size_t>(points), -95.0);
    levels.front() = -42.5;
    const std::string line = formatSweepLine(band, {2026, 1, 2, 3, 4, 5}, 3, levels);
    const QStringList fields = QString::fromStdString(line).chopped(1).split(", ");
    QVERIFY(line.ends_with("\n"));
    QCOMPARE(fields.size(), 6 + points);
    QCOMPARE(fields.mid(0, 2).join(' '), QString("2026-01-02 03:04:05"));
    QCOMPARE(fields.mid(2, 3).join(", "), frequencies);
    QCOMPARE(fields[5], QString("3"));
    QCOMPARE(fields[6], QString("-42.50"));
    QCOMPARE(fields.last(), QString(points > 1 ? "-95.00" : "-42.50"));
}

void PowerCsvTest::intervalCombines() {
    const std::vector<std::vector<double>> sweeps = {{-90, -60}, {-80, -70}, {-85, -65}};
    IntervalCombiner mean(2, IntervalCombiner::Mode::Mean);
    IntervalCombiner peak(2, IntervalCombiner::Mode::Max);
    for (const auto& sweep : sweeps) {
        mean.add(sweep);
        peak.add(sweep);
    }
    QCOMPARE(mean.samples(), 3);
    QCOMPARE(mean.levels(), (std::vector<double>{-85, -65}));
    QCOMPARE(peak.levels(), (std::vector<double>{-80, -60}));
    peak.clear();
    QVERIFY(peak.levels().empty());
}

QTEST_GUILESS_MAIN(PowerCsvTest)
#include "test_power_csv.moc"
