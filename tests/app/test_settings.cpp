// SPDX-License-Identifier: GPL-3.0-or-later
// The settings' text conversions, loads of hand-made and broken INI files, what a save writes.
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "decimal_comma.h"
#include "ini_settings_backend.h"
#include "number_text.h"
#include "setting_keys.h"
#include "settings_store.h"
#include "titles.h"

using namespace kv;

namespace {

// Every key's value in the program's own text form, and the trace length.
std::map<QString, QString> loaded(const SharedState& state) {
    std::map<QString, QString> values;
    for (const SettingKey& key : kSettingKeys)
        values[QString::fromStdString(std::string(key.name))] =
            QString::fromStdString(settingText(key, state.settings));
    values["Number of Points"] = QString::number(state.trace.size());
    return values;
}

const std::pair<float, std::string> kFloatTexts[] = {
    {915.0f, "915"},      {2441.5f, "2441.5"},       {0.1f, "0.1"},
    {-0.0f, "0"},         {3.14159265f, "3.141593"}, {123456789.0f, "123456800"},
    {9e9f, "9000000000"}, {0.000015f, "0.000015"},   {-0.25f, "-0.25"}};

}  // namespace

class TestSettings : public QObject {
    Q_OBJECT
  private slots:
    // What follows runs with a decimal comma in the C library's locale: the file keeps points.
    void decimalComma() {
        const QString why = useDecimalComma();
        if (!why.isEmpty()) QSKIP(qPrintable(why));
    }

    void conversions_data() {
        QTest::addColumn<QStringList>("row");  // text | int16 | int32 | single | boolean ("": none)
        const QString table = QString::fromUtf8(R"( +7 |7|7|7|1
+6e2|600|600|600|1
12.5|12|12|12.5|1
13.5|14|14|13.5|1
.25|0|0|0.25|1
5.|5|5|5|1
-0|0|0|0|0
32767.5||32768|32767.5|1
-32769||-32769|-32769|1
2147483647||2147483647|2147483648|1
2147483648|||2147483648|1
-2147483649|||-2147483648|1
1e39||||1
1e999||||
True||||1
 FALSE ||||0
yes||||
||||
-||||
12abc||||
inf||||
１||||)");
        for (const QString& row : table.split('\n'))
            QTest::newRow(qPrintable(row)) << row.split('|');
        QTest::newRow("huge text") << QStringList{QString(5000, '9'), "", "", "", ""};
        QTest::newRow("64 characters") << QStringList{QString(63, '0') + '1', "1", "1", "1", "1"};
        QTest::newRow("65 characters") << QStringList{QString(64, '0') + '1', "", "", "", ""};
    }
    void conversions() {
        QFETCH(QStringList, row);
        const std::string t = row[0].toStdString();
        const auto show = [](const auto& v) {
            return v ? QString::number(double(*v), 'g', 10) : "";
        };
        QCOMPARE(show(parseInt16(t)), row[1]);
        QCOMPARE(show(parseInt32(t)), row[2]);
        QCOMPARE(show(parseSingle(t)), row[3]);
        QCOMPARE(show(parseBoolean(t)), row[4]);
        QVERIFY(!parseInt16(t + std::string(1, '\0') + "1"));  // a NUL ends no text early
    }

    // A float is written in plain decimal, the fewest digits (at most 7) that read back.
    void singleText() {
        for (const auto& [value, text] : kFloatTexts) {
            QCOMPARE(kv::singleText(value), text);
            QCOMPARE(*parseSingle(text), value);
        }
    }

    // A corpus file tells its load's outcome: "; expect ok|any|fail KEY" and "; expect KEY=VALUE".
    void corpus_data() {
        QTest::addColumn<QString>("file");
        const QDir dir(QStringLiteral(KV_SETTINGS_CORPUS));
        for (const QString& f : dir.entryList({"*.ini"}, QDir::Files, QDir::Name))
            QTest::newRow(qPrintable(f)) << dir.filePath(f);
    }
    void corpus() {
        QFETCH(QString, file);
        QString outcome = "ok";
        std::map<QString, QString> expected;
        QFile source(file);
        QVERIFY(source.open(QIODevice::ReadOnly));
        for (const QString& line : QString::fromUtf8(source.readAll()).split('\n')) {
            const QString what = line.trimmed().section("; expect ", 1);
            if (what.contains('='))
                expected[what.section('=', 0, 0)] = what.section('=', 1);
            else if (!what.isEmpty())
                outcome = what;
        }
        QTemporaryDir dir;
        const QString copy = dir.filePath("settings.ini");
        QVERIFY(QFile::copy(file, copy));
        QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
        {
            IniSettingsBackend store(copy);
            SharedState state;
            const LoadResult result = loadSettings(store, state);
            const QString got =
                result.ok ? "ok" : "fail " + QString::fromStdString(result.failedKey);
            if (outcome != "any") QCOMPARE(got, outcome);
            // A failed load is told with its key and the file's path.
            const QString why = QString::fromStdString(result.problem(store.location()));
            QVERIFY(result.ok ? why.isEmpty()
                              : why.contains(copy) && why.contains(QString::fromStdString(
                                                          '"' + result.failedKey + "\" holds")));
            const auto values = loaded(state);
            for (const auto& [key, value] : expected) QCOMPARE(values.at(key), value);
            // Saving over a broken file replaces it with one that holds the five keys.
            state.settings.span = 12.5f;
            QVERIFY(saveSettings(store, state.settings));
        }
        IniSettingsBackend reread(copy);
        QCOMPARE(reread.read("Settings", "Span"), std::optional<std::string>("12.5"));
        QVERIFY(reread.read("Settings", "Attenuator"));
    }

    // The save replaces the user's file once, with the five keys, leaving the rest alone; a file
    // that cannot be written (its folder is a file, which stops root too) reports failure.
    void iniFileHoldsWhatWasSaved() {
        QTemporaryDir dir;
        qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
        QFile f(dir.path() + "/" + kProgramTitle + ".exe.ini");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(
            "[Settings]\nCenter Frequency=2441.5\nGraph Top = 400\n[Ports]\nCOM3=/dev/ttyUSB0\n");
        f.close();
        {
            IniSettingsBackend store;
            SharedState state;
            QVERIFY(loadSettings(store, state).ok);
            QCOMPARE(state.settings.centerFrequency, 2441.5f);
            QCOMPARE(state.settings.graphTop, std::int16_t(400));
            QCOMPARE(store.read("Ports", "COM3"), std::optional<std::string>("/dev/ttyUSB0"));
            state.settings.amplitude = -52.25f;
            QVERIFY(saveSettings(store, state.settings));
            QVERIFY(store.write("Ports", "COM4", "/dev/ttyACM0"));
            IniSettingsBackend blocked(f.fileName() + "/x.ini");
            QVERIFY(!blocked.write("Ports", "COM4", "/dev/ttyACM0"));
            QVERIFY(!saveSettings(blocked, state.settings));
        }
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        for (const char* line : {"Port=0", "Span=26", "Amplitude=-52.25", "Attenuator=0",
                                 "Graph%20Top=400", "COM3=/dev/ttyUSB0", "COM4=/dev/ttyACM0"})
            QVERIFY2(text.contains(QLatin1String(line)), qPrintable(text));
        QVERIFY(text.contains(QRegularExpression("Center(%20| )Frequency=2441.5")));
        QCOMPARE(text.count(QLatin1Char('=')), 8);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
