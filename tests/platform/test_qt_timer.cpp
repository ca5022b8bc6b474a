#include <QElapsedTimer>
#include <QtTest>

#include "qt_timer.h"

// QtTimer leaves its QTimer running across disable and enable; what the radio link relies on
// must hold all the same: a fresh period at every enabling, no tick while disabled, and
// ticking every period until disabled. Only lower bounds on time are checked.
class TestQtTimer : public QObject {
    Q_OBJECT
  private slots:
    void aDisabledTimerDoesNotTick() {
        kv::QtTimer timer(20);
        int ticks = 0;
        timer.setOnTick([&] { ++ticks; });
        timer.setEnabled(true);
        timer.setEnabled(false);
        QVERIFY(!timer.enabled());
        QTest::qWait(100);
        QCOMPARE(ticks, 0);
    }

    void enablingAgainStartsAFreshPeriod() {
        constexpr int kInterval = 80;
        kv::QtTimer timer(kInterval);
        QElapsedTimer clock;
        qint64 tickedAt = -1;
        timer.setOnTick([&] {
            tickedAt = clock.elapsed();
            timer.setEnabled(false);
        });
        timer.setEnabled(true);
        QTest::qWait(50);
        // Disabled and enabled again, as between two reply waits.
        timer.setEnabled(false);
        timer.setEnabled(true);
        clock.start();
        QTRY_VERIFY_WITH_TIMEOUT(tickedAt >= 0, 5000);
        QVERIFY2(tickedAt >= kInterval - 1, qPrintable(QString::number(tickedAt)));
        QVERIFY(!timer.enabled());
    }

    void ticksEveryPeriodUntilDisabled() {
        constexpr int kInterval = 15;
        kv::QtTimer timer(kInterval);
        QElapsedTimer clock;
        std::vector<qint64> ticks;
        timer.setOnTick([&] {
            ticks.push_back(clock.elapsed());
            if (ticks.size() == 3) timer.setEnabled(false);
        });
        clock.start();
        timer.setEnabled(true);
        QTRY_COMPARE_WITH_TIMEOUT(ticks.size(), std::size_t{3}, 5000);
        QTest::qWait(4 * kInterval);
        QCOMPARE(ticks.size(), std::size_t{3});
        for (std::size_t i = 0; i < ticks.size(); ++i)
            QVERIFY(ticks[i] >= static_cast<qint64>(i + 1) * kInterval - 1);
    }

    // As with a QTimer, a new interval restarts the running period.
    void aShorterIntervalTakesEffectAtOnce() {
        kv::QtTimer timer(60000);
        int ticks = 0;
        timer.setOnTick([&] {
            ++ticks;
            timer.setEnabled(false);
        });
        timer.setEnabled(true);
        timer.setInterval(20);
        QCOMPARE(timer.interval(), 20);
        QTRY_COMPARE_WITH_TIMEOUT(ticks, 1, 5000);
    }
};

QTEST_MAIN(TestQtTimer)
#include "test_qt_timer.moc"
