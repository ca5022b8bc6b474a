#include <QtTest>

#include "line_settings.h"

using kv::Parity;
using kv::StopBits;

class TestLineSettings : public QObject {
    Q_OBJECT
  private slots:
    void accepted_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("parity");
        QTest::addColumn<int>("dataBits");
        QTest::addColumn<int>("stopBits");
        QTest::addColumn<QString>("formatted");
        const auto row = [](const char* text, int rate, Parity p, int data, StopBits stop,
                            const char* formatted) {
            QTest::newRow(text) << QString(text) << rate << int(p) << data << int(stop)
                                << QString(formatted);
        };
        row("115200,n,8,1", 115200, Parity::None, 8, StopBits::One, "115200,n,8,1");
        row("110,n,8,1", 110, Parity::None, 8, StopBits::One, "110,n,8,1");
        row("14400,n,8,1", 14400, Parity::None, 8, StopBits::One, "14400,n,8,1");
        row("28800,n,8,1", 28800, Parity::None, 8, StopBits::One, "28800,n,8,1");
        row("9600,E,7,2", 9600, Parity::Even, 7, StopBits::Two, "9600,e,7,2");
        row("300,o,5,1.5", 300, Parity::Odd, 5, StopBits::OneAndHalf, "300,o,5,1.5");
        row("1200,M,6,1", 1200, Parity::Mark, 6, StopBits::One, "1200,m,6,1");
        row("2400,s,8,2", 2400, Parity::Space, 8, StopBits::Two, "2400,s,8,2");
    }
    void accepted() {
        QFETCH(QString, text);
        QFETCH(int, rate);
        QFETCH(int, parity);
        QFETCH(int, dataBits);
        QFETCH(int, stopBits);
        QFETCH(QString, formatted);
        const auto parsed = kv::parseLineSettings(text.toStdString());
        QVERIFY(parsed);
        QCOMPARE(parsed->rate, rate);
        QCOMPARE(int(parsed->parity), parity);
        QCOMPARE(parsed->dataBits, dataBits);
        QCOMPARE(int(parsed->stopBits), stopBits);
        QCOMPARE(QString::fromStdString(kv::formatLineSettings(*parsed)), formatted);
    }

    void rejected_data() {
        QTest::addColumn<QString>("text");
        for (const char* text : {"115200,,8,1",  // the program's text for a non-zero Parity setting
                                 "115200,x,8,1",
                                 "115200,nn,8,1",
                                 "",
                                 "115200",
                                 "115200,n,8",
                                 "115200,n,8,1,1",
                                 "115200,n,8,1,",
                                 ",n,8,1",
                                 "abc,n,8,1",
                                 "0,n,8,1",
                                 "-9600,n,8,1",
                                 "+9600,n,8,1",
                                 "96OO,n,8,1",
                                 "99999999999,n,8,1",
                                 " 9600,n,8,1",
                                 "9600,n,8,1 ",
                                 "9600,n,4,1",
                                 "9600,n,9,1",
                                 "9600,n,,1",
                                 "9600,n,8,0",
                                 "9600,n,8,3",
                                 "9600,n,8,1.0",
                                 "9600,n,8,"})
            QTest::newRow(*text ? text : "(empty)") << QString(text);
    }
    void rejected() {
        QFETCH(QString, text);
        QVERIFY(!kv::parseLineSettings(text.toStdString()));
    }
};

QTEST_APPLESS_MAIN(TestLineSettings)
#include "test_line_settings.moc"
