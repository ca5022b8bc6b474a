// Seeded random texts through the settings store's text conversions and through loadSettings,
// over the memory store and over real INI files, and a corpus of hand-made broken INI files.
// Whatever the texts, the load never crashes, stops at the first key that does not convert,
// keeps what came before and leaves every key from there on at its default.
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <cfloat>
#include <cmath>
#include <limits>

#include "ini_settings_backend.h"
#include "settings_store.h"

using namespace kv;

namespace {

enum class Kind { Int32, Colour, Int16, Points, Single, Boolean, Text };

struct KeySpec {
    const char* key;
    Kind kind;
    const char* defaultText;
    double (*number)(const SettingValues&);
    std::string (*text)(const SettingValues&);
};

double asSigned(Colour c) {
    return static_cast<std::int32_t>(c);
}

// The keys in the order the load reads them.
const std::array<KeySpec, 24> kKeys{{
    {"Port", Kind::Int32, "0", [](const SettingValues& s) { return double(s.port); }, nullptr},
    {"Baud", Kind::Text, "11", nullptr, [](const SettingValues& s) { return s.baud; }},
    {"Data", Kind::Text, "0", nullptr, [](const SettingValues& s) { return s.data; }},
    {"Parity", Kind::Int32, "0", [](const SettingValues& s) { return double(s.parity); }, nullptr},
    {"Stop", Kind::Text, "0", nullptr, [](const SettingValues& s) { return s.stop; }},
    {"Background Color", Kind::Colour, "0",
     [](const SettingValues& s) { return asSigned(s.backgroundColor); }, nullptr},
    {"Graph Color", Kind::Colour, "65280",
     [](const SettingValues& s) { return asSigned(s.graphColor); }, nullptr},
    {"Message Color", Kind::Colour, "65280",
     [](const SettingValues& s) { return asSigned(s.messageColor); }, nullptr},
    {"Grid Color", Kind::Colour, "8404992",
     [](const SettingValues& s) { return asSigned(s.gridColor); }, nullptr},
    {"Label Color", Kind::Colour, "0",
     [](const SettingValues& s) { return asSigned(s.labelColor); }, nullptr},
    {"Marker1 Color", Kind::Colour, "65280",
     [](const SettingValues& s) { return asSigned(s.markerColor[0]); }, nullptr},
    {"Marker2 Color", Kind::Colour, "255",
     [](const SettingValues& s) { return asSigned(s.markerColor[1]); }, nullptr},
    {"Center Frequency", Kind::Single, "915",
     [](const SettingValues& s) { return double(s.centerFrequency); }, nullptr},
    {"Span", Kind::Single, "26", [](const SettingValues& s) { return double(s.span); }, nullptr},
    {"Amplitude", Kind::Single, "-40", [](const SettingValues& s) { return double(s.amplitude); },
     nullptr},
    {"Attenuator", Kind::Int16, "0", [](const SettingValues& s) { return double(s.attenuator); },
     nullptr},
    {"Graph Top", Kind::Int16, "500", [](const SettingValues& s) { return double(s.graphTop); },
     nullptr},
    {"Graph Bottom", Kind::Int16, "1000",
     [](const SettingValues& s) { return double(s.graphBottom); }, nullptr},
    {"Graph Left", Kind::Int16, "500", [](const SettingValues& s) { return double(s.graphLeft); },
     nullptr},
    {"Graph Right", Kind::Int16, "500", [](const SettingValues& s) { return double(s.graphRight); },
     nullptr},
    {"Number of Gradiants", Kind::Int16, "10",
     [](const SettingValues& s) { return double(s.numberOfGradiants); }, nullptr},
    {"View Markers", Kind::Boolean, "1",
     [](const SettingValues& s) { return s.viewMarkers ? 1.0 : 0.0; }, nullptr},
    {"View Function1", Kind::Boolean, "1",
     [](const SettingValues& s) { return s.viewFunction1 ? 1.0 : 0.0; }, nullptr},
    {"Number of Points", Kind::Points, "50",
     [](const SettingValues& s) { return double(s.numberOfPoints); }, nullptr},
}};

// Whether a loaded key holds the value `expected` names (a number, or a text for text keys).
bool holds(const KeySpec& k, const SettingValues& s, const QString& expected) {
    if (k.text) return QString::fromStdString(k.text(s)) == expected;
    const double value = k.kind == Kind::Single ? double(expected.toFloat()) : expected.toDouble();
    return k.number(s) == value;
}

// One key of a random store: absent, or a text with the value it should load as.
struct StoredKey {
    bool present = false;
    std::string text;
    bool valid = true;
    double number = 0;  // for numeric keys
};

class TextDice {
  public:
    explicit TextDice(quint32 seed) : rng_(seed) {}
    int below(int n) { return static_cast<int>(rng_.bounded(n)); }
    bool chance(int percent) { return below(100) < percent; }
    template <typename T>
    const T& pick(const std::vector<T>& v) {
        return v[static_cast<std::size_t>(below(static_cast<int>(v.size())))];
    }

    // Any text: letters, digits, blanks, punctuation the INI format treats specially, and
    // characters beyond ASCII.
    std::string anyText() {
        static const std::vector<std::string> pieces{"a", "Z", "0",  "9", " ", ",", "\"",  "\\",
                                                     "=", ";", "#",  "@", "[", "]", "%20", "\t",
                                                     "é", "€", "日", "-", "+", ".", "e",   "True"};
        std::string t;
        const int n = below(12);
        for (int i = 0; i < n; ++i) t += pick(pieces);
        return t;
    }

    // A text that converts to the whole number n.
    std::string integerText(std::int64_t n) {
        const std::string d = std::to_string(n);
        switch (below(7)) {
            case 0:
                return " " + d + " ";
            case 1:
                return n >= 0 ? "+" + d : d;
            case 2:
                return d + ".0";
            case 3:
                return d + ".49";  // rounds back to n
            case 4:
                return n % 2 == 0 ? d + ".5" : d;  // a half rounds to the even neighbour
            case 5:
                return d + "e0";
            default:
                return d;
        }
    }

    StoredKey valid(const KeySpec& k) {
        StoredKey s;
        s.present = true;
        auto integer = [&](std::int64_t lo, std::int64_t hi) {
            std::int64_t n;
            if (chance(20)) {
                n = chance(50) ? lo : hi;
            } else {
                n = lo + static_cast<std::int64_t>(rng_.bounded(static_cast<double>(hi - lo + 1)));
                n = std::clamp(n, lo, hi);
            }
            s.text = integerText(n);
            s.number = static_cast<double>(n);
        };
        switch (k.kind) {
            case Kind::Int32:
            case Kind::Colour:
                integer(std::numeric_limits<std::int32_t>::min(),
                        std::numeric_limits<std::int32_t>::max());
                break;
            case Kind::Int16:
                integer(-32768, 32767);
                break;
            case Kind::Points:
                integer(1, 256);
                break;
            case Kind::Single: {
                static const std::vector<float> edges{FLT_MAX, -FLT_MAX, FLT_MIN, 1e-45f,
                                                      0.0f,    -0.0f,    915.0f,  2441.5f};
                float f = chance(20) ? pick(edges)
                                     : static_cast<float>((rng_.generateDouble() - 0.5) *
                                                          std::pow(10.0, below(20) - 6));
                s.text = QString::number(double(f), 'g', 9).toStdString();
                s.number = f;
                break;
            }
            case Kind::Boolean: {
                static const std::vector<std::string> yes{"True", "TRUE", " true ", "1",
                                                          "-1",   "0.25", "-7",     "1e3"};
                static const std::vector<std::string> no{"False", "false", "0", "0.0", "-0", " 0 "};
                const bool b = chance(50);
                s.text = b ? pick(yes) : pick(no);
                s.number = b ? 1 : 0;
                break;
            }
            case Kind::Text:
                s.text = anyText();
                break;
        }
        return s;
    }

    // A text the key's type cannot hold; nothing for text keys, which hold anything.
    std::optional<StoredKey> invalid(const KeySpec& k) {
        static const std::vector<std::string> notNumbers{
            "",   "   ", "abc", "12abc", "1,2",  "0x10",         "--1", "+-1",  ".",
            "e5", "1e",  "nan", "inf",   "-inf", "\xef\xbc\x91", "1 2", "True?"};
        std::vector<std::string> outOfRange;
        switch (k.kind) {
            case Kind::Int32:
            case Kind::Colour:
                outOfRange = {"2147483648", "-2147483649", "2147483647.5", "1e10"};
                break;
            case Kind::Int16:
                outOfRange = {"32768", "-32769", "32767.5", "1e5"};
                break;
            case Kind::Points:
                outOfRange = {"0", "-5", "257", "32768", "0.4", "256.5"};
                break;
            case Kind::Single:
                outOfRange = {"1e39", "-3.5e38"};
                break;
            case Kind::Boolean:
                outOfRange = {"yes", "T", "Truee", "1e999"};
                break;
            case Kind::Text:
                return std::nullopt;
        }
        StoredKey s;
        s.present = true;
        s.valid = false;
        const int choice = below(10);
        if (choice < 4)
            s.text = pick(notNumbers);
        else if (choice < 9)
            s.text = pick(outOfRange);
        else
            s.text = std::string(100000, '9');  // a huge text
        return s;
    }

  private:
    QRandomGenerator rng_;
};

struct RandomStore {
    std::array<StoredKey, 24> keys;
};

RandomStore randomStore(TextDice& dice) {
    RandomStore r;
    // Mostly good stores, so that the keys late in the order get read too.
    const int badPercent = dice.below(4) == 0 ? 10 : 1;
    for (std::size_t i = 0; i < kKeys.size(); ++i) {
        const int roll = dice.below(100);
        if (roll < 25) continue;  // absent
        if (roll < 25 + badPercent) {
            if (auto bad = dice.invalid(kKeys[i])) {
                r.keys[i] = *bad;
                continue;
            }
        }
        r.keys[i] = dice.valid(kKeys[i]);
    }
    return r;
}

// Checks a load of `r` against the rules; returns the first discrepancy, or empty.
QString checkLoad(const RandomStore& r, const LoadResult& result, const SharedState& state) {
    std::size_t failAt = kKeys.size();
    for (std::size_t i = 0; i < kKeys.size(); ++i)
        if (r.keys[i].present && !r.keys[i].valid) {
            failAt = i;
            break;
        }
    const bool expectOk = failAt == kKeys.size();
    if (result.ok != expectOk)
        return QString("ok is %1 (%2: \"%3\")")
            .arg(result.ok)
            .arg(result.failedKey.c_str())
            .arg(QString::fromStdString(
                r.keys[static_cast<std::size_t>(std::find_if(kKeys.begin(), kKeys.end(),
                                                             [&](const KeySpec& k) {
                                                                 return result.failedKey == k.key;
                                                             }) -
                                                kKeys.begin()) %
                       kKeys.size()]
                    .text.substr(0, 40)));
    if (!expectOk && result.failedKey != kKeys[failAt].key)
        return QString("failed at %1, not %2").arg(result.failedKey.c_str(), kKeys[failAt].key);
    for (std::size_t i = 0; i < kKeys.size(); ++i) {
        const KeySpec& k = kKeys[i];
        const StoredKey& stored = r.keys[i];
        const bool fromStore = stored.present && i < failAt;
        if (k.text) {
            const std::string expected = fromStore ? stored.text : k.defaultText;
            if (k.text(state.settings) != expected)
                return QString("%1 is \"%2\"").arg(k.key, k.text(state.settings).c_str());
        } else {
            const double expected = fromStore ? stored.number : std::stod(k.defaultText);
            if (k.number(state.settings) != expected)
                return QString("%1 is %2, stored \"%3\"")
                    .arg(k.key)
                    .arg(k.number(state.settings), 0, 'g', 17)
                    .arg(QString::fromStdString(stored.text.substr(0, 40)));
        }
    }
    const auto points = static_cast<std::size_t>(state.settings.numberOfPoints);
    if (state.trace.size() != points || state.previousTrace.size() != points)
        return QStringLiteral("trace arrays not sized to the number of points");
    return {};
}

void writeIni(const QString& path, const RandomStore& r) {
    QFile::remove(path);
    QSettings ini(path, QSettings::IniFormat);
    for (std::size_t i = 0; i < kKeys.size(); ++i)
        if (r.keys[i].present)
            ini.setValue(QString("Settings/") + kKeys[i].key,
                         QString::fromStdString(r.keys[i].text));
}

QString corpusDir() {
    return QStringLiteral(KV_SETTINGS_CORPUS);
}

const KeySpec* keyNamed(const QString& name) {
    for (const KeySpec& k : kKeys)
        if (name == k.key) return &k;
    return nullptr;
}

}  // namespace

class TestSettingsProperties : public QObject {
    Q_OBJECT
  private slots:
    void integerTexts_data() {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed = 1; seed <= 4; ++seed) QTest::addRow("seed %u", seed) << seed;
    }
    void integerTexts() {
        QFETCH(quint32, seed);
        TextDice dice(seed);
        QRandomGenerator numbers(seed);
        for (int i = 0; i < 2000; ++i) {
            const std::int64_t n =
                static_cast<std::int64_t>(numbers.generate64() % 5000000000ULL) - 2500000000LL;
            const std::string text = dice.integerText(n);
            const auto as16 = parseInt16(text);
            const auto as32 = parseInt32(text);
            QCOMPARE(as16.has_value(), n >= -32768 && n <= 32767);
            QCOMPARE(as32.has_value(), n >= INT32_MIN && n <= INT32_MAX);
            if (as16) QCOMPARE(std::int64_t(*as16), n);
            if (as32) QCOMPARE(std::int64_t(*as32), n);
        }
    }

    void anyTextIsSafe_data() { integerTexts_data(); }
    void anyTextIsSafe() {
        QFETCH(quint32, seed);
        TextDice dice(seed);
        // A number: sign, digits, an optional fraction and exponent, blanks around.
        const QRegularExpression number(R"(^[ \t]*[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?[ \t]*$)");
        for (int i = 0; i < 3000; ++i) {
            std::string text = dice.anyText();
            if (dice.chance(5)) text.insert(text.begin() + dice.below(int(text.size()) + 1), '\0');
            const bool looksLikeNumber = text.find('\0') == std::string::npos &&
                                         number.match(QString::fromStdString(text)).hasMatch();
            if (!looksLikeNumber) {
                QVERIFY(!parseInt16(text));
                QVERIFY(!parseInt32(text));
                QVERIFY(!parseSingle(text));
            }
            const auto b = parseBoolean(text);
            const QString t = QString::fromStdString(text).trimmed().toLower();
            QCOMPARE(b.has_value(), looksLikeNumber || t == "true" || t == "false");
        }
    }

    void singleTextRoundTrips_data() { integerTexts_data(); }
    void singleTextRoundTrips() {
        QFETCH(quint32, seed);
        QRandomGenerator rng(seed);
        const QRegularExpression plain(R"(^-?(0|[1-9]\d*)(\.\d*[1-9])?$)");
        for (int i = 0; i < 5000; ++i) {
            // Every finite float: bit patterns with an exponent below the all-ones one.
            quint32 bits = rng.generate();
            if (((bits >> 23) & 0xFF) == 0xFF) bits &= ~(1U << 30);
            float f;
            std::memcpy(&f, &bits, sizeof f);
            const std::string text = singleText(f);
            QVERIFY2(plain.match(QString::fromStdString(text)).hasMatch(), text.c_str());
            int significant = 0;
            for (char c : text.substr(text.find_first_not_of("-0.") == std::string::npos
                                          ? text.size()
                                          : text.find_first_not_of("-0.")))
                if (c >= '0' && c <= '9') ++significant;
            QVERIFY2(significant <= 7 || text.find('.') == std::string::npos, text.c_str());
            const auto back = parseSingle(text);
            QVERIFY2(back.has_value(), text.c_str());
            // The same value when seven digits can hold it; else within half a unit of the
            // seventh digit plus the float's own spacing there.
            const double ulp =
                double(std::nextafter(std::fabs(*back), FLT_MAX)) - double(std::fabs(*back));
            const double tolerance = std::fabs(double(f)) * 5e-7 + ulp;
            QVERIFY2(std::fabs(double(*back) - double(f)) <= tolerance, text.c_str());
            // Written again, it gives the same text.
            QCOMPARE(singleText(*back), text);
        }
    }

    void shortDecimalTextsWriteBackUnchanged_data() { integerTexts_data(); }
    void shortDecimalTextsWriteBackUnchanged() {
        QFETCH(quint32, seed);
        QRandomGenerator rng(seed);
        for (int i = 0; i < 5000; ++i) {
            // Up to six significant digits with the point anywhere: a float holds them exactly
            // enough to give the same text back.
            const int digits = 1 + static_cast<int>(rng.bounded(6));
            QString mantissa = QString::number(1 + rng.bounded(9));
            for (int d = 1; d < digits; ++d) mantissa += QString::number(rng.bounded(10));
            const int shift = static_cast<int>(rng.bounded(24)) - 12;
            QString text;
            if (shift >= 0) {
                text = mantissa + QString(shift, '0');
            } else if (-shift < mantissa.size()) {
                text = mantissa.left(mantissa.size() + shift) + '.' + mantissa.right(-shift);
            } else {
                text = "0." + QString(-shift - mantissa.size(), '0') + mantissa;
            }
            if (text.contains('.')) {
                while (text.endsWith('0')) text.chop(1);
                if (text.endsWith('.')) text.chop(1);
            }
            if (rng.bounded(2)) text.prepend('-');
            const auto f = parseSingle(text.toStdString());
            QVERIFY(f.has_value());
            QCOMPARE(QString::fromStdString(singleText(*f)), text);
        }
    }

    void loadFollowsTheKeyOrder_data() { integerTexts_data(); }
    void loadFollowsTheKeyOrder() {
        QFETCH(quint32, seed);
        TextDice dice(seed);
        for (int i = 0; i < 300; ++i) {
            const RandomStore r = randomStore(dice);
            MemorySettingsBackend store;
            for (std::size_t k = 0; k < kKeys.size(); ++k)
                if (r.keys[k].present) store.values[{"Settings", kKeys[k].key}] = r.keys[k].text;
            SharedState state;
            const LoadResult result = loadSettings(store, state);
            const QString problem = checkLoad(r, result, state);
            QVERIFY2(problem.isEmpty(), qPrintable(QString("store %1: %2").arg(i).arg(problem)));
            QVERIFY(store.writes.empty());
        }
    }

    void loadFromIniFiles_data() { integerTexts_data(); }
    void loadFromIniFiles() {
        QFETCH(quint32, seed);
        TextDice dice(seed + 100);
        QTemporaryDir dir;
        const QString path = dir.filePath("settings.ini");
        for (int i = 0; i < 40; ++i) {
            const RandomStore r = randomStore(dice);
            writeIni(path, r);
            IniSettingsBackend store(path);
            SharedState state;
            const LoadResult result = loadSettings(store, state);
            const QString problem = checkLoad(r, result, state);
            QVERIFY2(problem.isEmpty(), qPrintable(QString("file %1: %2").arg(i).arg(problem)));
        }
    }

    void corpus_data() {
        QTest::addColumn<QString>("file");
        const QStringList files = QDir(corpusDir()).entryList({"*.ini"}, QDir::Files, QDir::Name);
        QVERIFY(files.size() >= 20);
        for (const QString& f : files) QTest::newRow(qPrintable(f)) << f;
    }
    void corpus() {
        QFETCH(QString, file);
        QFile source(corpusDir() + '/' + file);
        QVERIFY(source.open(QIODevice::ReadOnly));
        const QByteArray bytes = source.readAll();
        // "; expect ok", "; expect fail KEY", "; expect any" and "; expect KEY=VALUE" lines.
        QString outcome = "ok";
        QString failKey;
        std::vector<std::pair<QString, QString>> values;
        for (const QByteArray& raw : bytes.split('\n')) {
            QString line = QString::fromUtf8(raw).trimmed();
            if (line.startsWith(QChar(0xFEFF))) line.remove(0, 1);
            if (!line.startsWith("; expect ")) continue;
            const QString what = line.mid(9).trimmed();
            if (what == "ok" || what == "any") {
                outcome = what;
            } else if (what.startsWith("fail ")) {
                outcome = "fail";
                failKey = what.mid(5);
            } else {
                const auto eq = what.indexOf('=');
                values.emplace_back(what.left(eq), what.mid(eq + 1));
            }
        }
        QTemporaryDir dir;
        const QString copy = dir.filePath(file);
        QVERIFY(QFile::copy(source.fileName(), copy));
        QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
        {
            IniSettingsBackend store(copy);
            SharedState state;
            const LoadResult result = loadSettings(store, state);
            if (outcome == "ok") QVERIFY2(result.ok, result.failedKey.c_str());
            if (outcome == "fail") {
                QVERIFY(!result.ok);
                QCOMPARE(QString::fromStdString(result.failedKey), failKey);
            }
            for (const auto& [key, value] : values) {
                const KeySpec* k = keyNamed(key);
                QVERIFY2(k, qPrintable(key));
                QVERIFY2(holds(*k, state.settings, value), qPrintable(key));
            }
            QCOMPARE(state.trace.size(), std::size_t(state.settings.numberOfPoints));
            // Saving over a broken file replaces it with one that holds the five keys.
            state.settings.span = 12.5f;
            QVERIFY(saveSettings(store, state.settings));
        }
        IniSettingsBackend reread(copy);
        QCOMPARE(reread.read("Settings", "Span"), std::optional<std::string>("12.5"));
        QVERIFY(reread.read("Settings", "Port"));
        QVERIFY(reread.read("Settings", "Attenuator"));
    }
};

QTEST_GUILESS_MAIN(TestSettingsProperties)
#include "test_settings_properties.moc"
