#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "app_doubles.h"
#include "ini_settings_backend.h"
#include "settings_store.h"

using namespace kv;

namespace {
using test::RecordingMessages;

MemorySettingsBackend storeWith(std::initializer_list<std::pair<const char*, const char*>> kv) {
    MemorySettingsBackend store;
    for (const auto& [k, v] : kv) store.values[{"Settings", k}] = v;
    return store;
}
}  // namespace

class TestSettingsStore : public QObject {
    Q_OBJECT
  private slots:
    void emptyStoreGivesDefaults() {
        MemorySettingsBackend store;
        SharedState state;
        QVERIFY(loadSettings(store, state).ok);
        const SettingValues& s = state.settings;
        QCOMPARE(s.port, 0);
        QCOMPARE(s.baud, std::string("11"));
        QCOMPARE(s.data, std::string("0"));
        QCOMPARE(s.parity, 0);
        QCOMPARE(s.stop, std::string("0"));
        QCOMPARE(s.backgroundColor, Colour(0));
        QCOMPARE(s.graphColor, Colour(65280));
        QCOMPARE(s.messageColor, Colour(65280));
        QCOMPARE(s.gridColor, Colour(8404992));
        QCOMPARE(s.labelColor, Colour(0));
        QCOMPARE(s.markerColor[0], Colour(65280));
        QCOMPARE(s.markerColor[1], Colour(255));
        QCOMPARE(s.centerFrequency, 915.0f);
        QCOMPARE(s.span, 26.0f);
        QCOMPARE(s.amplitude, -40.0f);
        QCOMPARE(s.attenuator, std::int16_t(0));
        QCOMPARE(s.graphTop, std::int16_t(500));
        QCOMPARE(s.graphBottom, std::int16_t(1000));
        QCOMPARE(s.graphLeft, std::int16_t(500));
        QCOMPARE(s.graphRight, std::int16_t(500));
        QCOMPARE(s.numberOfGradiants, std::int16_t(10));
        QVERIFY(s.viewMarkers);
        QVERIFY(s.viewFunction1);
        QCOMPARE(s.numberOfPoints, std::int16_t(50));
        QCOMPARE(state.trace.size(), std::size_t(50));
        QCOMPARE(state.previousTrace.size(), std::size_t(50));
        QVERIFY(store.writes.empty());
    }

    void int16Conversion_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("value");
        QTest::newRow("plain") << "500" << true << 500;
        QTest::newRow("negative") << "-12" << true << -12;
        QTest::newRow("half down to even") << "12.5" << true << 12;
        QTest::newRow("half up to even") << "13.5" << true << 14;
        QTest::newRow("minus half") << "-0.5" << true << 0;
        QTest::newRow("blanks") << " 7 " << true << 7;
        QTest::newRow("exponent") << "1e3" << true << 1000;
        QTest::newRow("largest") << "32767" << true << 32767;
        QTest::newRow("rounds past largest") << "32767.5" << false << 0;
        QTest::newRow("too large") << "40000" << false << 0;
        QTest::newRow("too small") << "-32769" << false << 0;
        QTest::newRow("empty") << "" << false << 0;
        QTest::newRow("word") << "abc" << false << 0;
        QTest::newRow("trailing junk") << "12abc" << false << 0;
        QTest::newRow("lone sign") << "-" << false << 0;
        QTest::newRow("infinity") << "inf" << false << 0;
        QTest::newRow("huge") << "1e400" << false << 0;
        QTest::newRow("huge text") << QString(5000, QLatin1Char('9')) << false << 0;
    }
    void int16Conversion() {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(int, value);
        const auto v = parseInt16(text.toStdString());
        QCOMPARE(v.has_value(), ok);
        if (ok) QCOMPARE(int(*v), value);
    }

    void booleanConversion_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");  // -1 no value, else 0/1
        QTest::newRow("True") << "True" << 1;
        QTest::newRow("false any case") << "false" << 0;
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("minus one") << "-1" << 1;
        QTest::newRow("two") << "2" << 1;
        QTest::newRow("yes") << "yes" << -1;
        QTest::newRow("empty") << "" << -1;
    }
    void booleanConversion() {
        QFETCH(QString, text);
        QFETCH(int, expected);
        const auto v = parseBoolean(text.toStdString());
        QCOMPARE(v.has_value(), expected >= 0);
        if (v) QCOMPARE(int(*v), expected);
    }

    void singleTextForm_data() {
        QTest::addColumn<float>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("915") << 915.0f << "915";
        QTest::newRow("-40") << -40.0f << "-40";
        QTest::newRow("2441.5") << 2441.5f << "2441.5";
        QTest::newRow("0.1") << 0.1f << "0.1";
        QTest::newRow("zero") << 0.0f << "0";
        QTest::newRow("seven digits") << 3.14159265f << "3.141593";
        QTest::newRow("large") << 123456789.0f << "123456800";
        QTest::newRow("small") << 0.000015f << "0.000015";
        QTest::newRow("negative fraction") << -0.25f << "-0.25";
    }
    void singleTextForm() {
        QFETCH(float, value);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(singleText(value)), text);
        // What is written reads back as the same single-precision value.
        QCOMPARE(*parseSingle(text.toStdString()), value);
    }

    void baudIndexLoadsAsText() {
        auto store = storeWith({{"Baud", "5"}});
        SharedState state;
        QVERIFY(loadSettings(store, state).ok);
        QCOMPARE(state.settings.baud, std::string("5"));
    }

    void failingKeyEndsTheLoad() {
        auto store = storeWith({{"Span", "30"},
                                {"Graph Top", "40000"},
                                {"Graph Bottom", "2000"},
                                {"Number of Points", "20"}});
        SharedState state;
        const LoadResult r = loadSettings(store, state);
        QVERIFY(!r.ok);
        QCOMPARE(r.failedKey, std::string("Graph Top"));
        QCOMPARE(state.settings.span, 30.0f);  // read before the failure
        QCOMPARE(state.settings.graphTop, std::int16_t(500));
        QCOMPARE(state.settings.graphBottom, std::int16_t(1000));  // not read: default
        QCOMPARE(state.settings.numberOfPoints, std::int16_t(50));
        QCOMPARE(state.trace.size(), std::size_t(50));
    }

    void numberOfPoints_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::newRow("1") << "1" << true;
        QTest::newRow("256") << "256" << true;
        QTest::newRow("0") << "0" << false;
        QTest::newRow("-5") << "-5" << false;
        QTest::newRow("257: the channel is one byte") << "257" << false;
        QTest::newRow("32768") << "32768" << false;
    }
    void numberOfPoints() {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        auto store = storeWith({{"Number of Points", qPrintable(text)}});
        SharedState state;
        const LoadResult r = loadSettings(store, state);
        QCOMPARE(r.ok, ok);
        const auto expected = ok ? text.toUInt() : 50u;
        QCOMPARE(state.trace.size(), std::size_t(expected));
    }

    void saveOnEmptyStoreWritesFiveKeysInOrder() {
        MemorySettingsBackend store;
        SharedState state;
        loadSettings(store, state);
        QVERIFY(saveSettings(store, state.settings));
        const std::vector<std::pair<std::string, std::string>> expected{{"Port", "0"},
                                                                        {"Center Frequency", "915"},
                                                                        {"Span", "26"},
                                                                        {"Amplitude", "-40"},
                                                                        {"Attenuator", "0"}};
        QCOMPARE(store.writes, expected);
    }

    void centerFrequencyRoundTrips() {
        auto store = storeWith({{"Center Frequency", "2441.5"}});
        SharedState state;
        QVERIFY(loadSettings(store, state).ok);
        QCOMPARE(state.settings.centerFrequency, 2441.5f);
        saveSettings(store, state.settings);
        QCOMPARE((store.values[{"Settings", "Center Frequency"}]), std::string("2441.5"));
    }

    void iniFileLiesWhereUsersLookAndHoldsTheFiveKeys() {
        QTemporaryDir dir;
        qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
        const QString path = dir.path() + "/KV3710 Spectrum Analyzer.exe.ini";
        {
            IniSettingsBackend store;
            QCOMPARE(store.fileName(), path);
            SharedState state;
            loadSettings(store, state);
            QVERIFY(saveSettings(store, state.settings));
        }
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        QVERIFY2(text.startsWith("[Settings]"), qPrintable(text));
        for (const char* line : {"Port=0", "Span=26", "Amplitude=-40", "Attenuator=0"})
            QVERIFY2(text.contains(QLatin1String(line)), line);
        QVERIFY(text.contains(QRegularExpression("Center(%20| )Frequency=915")));
        QCOMPARE(text.count(QLatin1Char('=')), 5);
    }

    void handEditedIniIsRead() {
        QTemporaryDir dir;
        const QString path = dir.path() + "/hand.ini";
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(
            "[Settings]\nCenter Frequency=2441.5\nNumber of Points = 100\n"
            "[Ports]\nCOM3=/dev/ttyUSB0\n");
        f.close();
        IniSettingsBackend store(path);
        SharedState state;
        QVERIFY(loadSettings(store, state).ok);
        QCOMPARE(state.settings.centerFrequency, 2441.5f);
        QCOMPARE(state.settings.numberOfPoints, std::int16_t(100));
        QCOMPARE(store.read("Ports", "COM3").value_or(""), std::string("/dev/ttyUSB0"));
    }

    void programDirectory() {
        RecordingMessages messages;
        QCOMPARE(getProgramDirectory("/opt/kv", messages), std::string("/opt/kv/"));
        QVERIFY(messages.shown.empty());
        QCOMPARE(getProgramDirectory("", messages), std::string());
        QCOMPARE(messages.shown.size(), std::size_t(1));
        QCOMPARE(messages.shown[0], std::string("Can't locate program directory"));
        QCOMPARE(messages.captions[0], std::string("KV3710 Spectrum Analyzer"));
    }
};

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "test_settings_store.moc"
