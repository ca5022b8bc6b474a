// What the radio link relies on from its timer: no tick while disabled, and a fresh period at
// every enabling although the QTimer underneath keeps running. Only lower bounds on time.
#include <QElapsedTimer>
#include <QtTest>

#include "qt_timer.h"

class TestQtTimer : public QObject {
    Q_OBJECT
  private slots:
    void enablingStartsAFreshPeriod() {
        kv::QtTimer timer(80);
        QElapsedTimer clock;
        std::vector<qint64> ticks;
        timer.setOnTick([&] {
            ticks.push_back(clock.elapsed());
            if (ticks.size() >= 2) timer.setEnabled(false);
        });
        timer.setEnabled(true);
        QTest::qWait(50);
        timer.setEnabled(false);  // as between two reply waits
        timer.setEnabled(true);
        clock.start();
        QTRY_COMPARE_WITH_TIMEOUT(ticks.size(), std::size_t{2}, 5000);
        QVERIFY2(ticks[0] >= 79 && ticks[1] >= 159, qPrintable(QString::number(ticks[0])));
        QTest::qWait(200);
        QCOMPARE(ticks.size(), std::size_t{2});
        timer.setInterval(20);  // takes effect at once, as with a QTimer
        timer.setEnabled(true);
        QTRY_COMPARE_WITH_TIMEOUT(ticks.size(), std::size_t{3}, 5000);
    }
};

QTEST_MAIN(TestQtTimer)
#include "test_qt_timer.moc"
