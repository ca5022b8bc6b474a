// SPDX-License-Identifier: GPL-3.0-or-later
#include <QtTest>
#include <cmath>

#include "interval_combiner.h"
#include "sweep_log.h"

using namespace kv::power;

class PowerCsvTest : public QObject {
    Q_OBJECT
  private slots:
    // An interval's line holds the mean power (in dB) or the peak of each point over its sweeps.
    void intervalCombines() {
        IntervalCombiner mean(3, IntervalCombiner::Mode::Mean),
            peak(3, IntervalCombiner::Mode::Max);
        for (const std::vector<double>& sweep :
             {std::vector<double>{-50, -60, -97}, {-90, -60, -42}}) {
            mean.add(sweep);
            peak.add(sweep);
        }
        QCOMPARE(mean.samples(), 2);
        std::vector<long> hundredths;
        for (double level : mean.levels()) hundredths.push_back(std::lround(level * 100));
        QCOMPARE(hundredths, (std::vector<long>{-5301, -6000, -4501}));
        QCOMPARE(peak.levels(), (std::vector<double>{-50, -60, -42}));
        peak.clear();
        QVERIFY(peak.levels().empty());
    }

    // A band beyond the whole numbers of Hz writes their limit, not an undefined number.
    void farBandWritesTheLimit() {
        kv::SettingValues band;
        band.centerFrequency = 1e25f;
        band.span = 26;
        band.numberOfPoints = 1;
        const std::string line = kv::formatSweepLine(band, {}, 1, std::vector<double>{-60});
        QVERIFY2(line.starts_with("1970-01-01, 00:00:00, 9223372036854775807, 9223372036854775807"),
                 line.c_str());
    }
};

QTEST_GUILESS_MAIN(PowerCsvTest)
#include "test_power_csv.moc"
