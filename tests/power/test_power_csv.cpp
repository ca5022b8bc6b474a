// SPDX-License-Identifier: GPL-3.0-or-later
#include <QtTest>

#include "sweep_csv.h"

using namespace kv::power;

class PowerCsvTest : public QObject {
    Q_OBJECT
  private slots:
    // An interval's line holds the mean or the peak of each point over its sweeps.
    void intervalCombines() {
        IntervalCombiner mean(2, IntervalCombiner::Mode::Mean),
            peak(2, IntervalCombiner::Mode::Max);
        for (const std::vector<double>& sweep :
             {std::vector<double>{-90, -60}, {-80, -70}, {-85, -65}}) {
            mean.add(sweep);
            peak.add(sweep);
        }
        QCOMPARE(mean.samples(), 3);
        QCOMPARE(mean.levels(), (std::vector<double>{-85, -65}));
        QCOMPARE(peak.levels(), (std::vector<double>{-80, -60}));
        peak.clear();
        QVERIFY(peak.levels().empty());
    }
};

QTEST_GUILESS_MAIN(PowerCsvTest)
#include "test_power_csv.moc"
