// The program started on bad settings, in this process with the real simulated radio: every key
// with a non-number, an out-of-range value, an empty text and a huge text; point counts the
// trace cannot take; layouts that leave no plot; and a settings folder that cannot be written at
// exit. It opens the serial port dialog where the load fails, keeps the other keys at their
// defaults, sweeps where the values are usable, and never crashes.
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "e2e_rig.h"
#include "ini_settings_backend.h"
#include "settings_store.h"
#include "surface_view.h"

using namespace kv;
using namespace kv::e2e;

namespace {

constexpr std::array<const char*, 24> kKeys{"Port",
                                            "Baud",
                                            "Data",
                                            "Parity",
                                            "Stop",
                                            "Background Color",
                                            "Graph Color",
                                            "Message Color",
                                            "Grid Color",
                                            "Label Color",
                                            "Marker1 Color",
                                            "Marker2 Color",
                                            "Center Frequency",
                                            "Span",
                                            "Amplitude",
                                            "Attenuator",
                                            "Graph Top",
                                            "Graph Bottom",
                                            "Graph Left",
                                            "Graph Right",
                                            "Number of Gradiants",
                                            "View Markers",
                                            "View Function1",
                                            "Number of Points"};

bool isTextKey(const std::string& key) {
    return key == "Baud" || key == "Data" || key == "Stop";
}

std::string outOfRange(const std::string& key) {
    if (key == "Port" || key == "Parity" || key.find("Color") != std::string::npos)
        return "2147483648";
    if (key == "Center Frequency" || key == "Span" || key == "Amplitude") return "1e39";
    if (key == "View Markers" || key == "View Function1") return "1e999";
    if (key == "Baud") return "12";  // no rate index
    if (key == "Data" || key == "Stop") return "9";
    return "32768";
}

// Presses every key command and a few arrows, from inside the sweep.
void pressEveryKey(MainWindow& w) {
    for (int key : {Qt::Key_F1, Qt::Key_F2, Qt::Key_F3, Qt::Key_F4, Qt::Key_F5, Qt::Key_Left,
                    Qt::Key_Right, Qt::Key_F3, Qt::Key_Left, Qt::Key_F7, Qt::Key_F2})
        QTest::keyClick(w.view(), static_cast<Qt::Key>(key));
}

// Two sweeps, so that the trace is drawn over an earlier one, with every key pressed between.
bool sweepTwiceAndClose(Rig& rig, MainWindow& w) {
    Script script;
    script.then("first sweep", [&] { return rig.state().lastSweepEnd != 0; })
        .thenDo("keys",
                [&] {
                    pressEveryKey(w);
                    rig.markSweep();
                })
        .then("second sweep", [&] { return rig.sweptSinceMark(); });
    const bool ok = script.run(w, 20000);
    if (!ok) qWarning("stopped at: %s", qPrintable(script.stoppedAt()));
    return ok;
}

// Passes the program's writes to the real file store with the rights of an unprivileged user,
// so that a read-only folder is read-only even to root.
class UnprivilegedWrites : public SettingsBackend {
  public:
    explicit UnprivilegedWrites(SettingsBackend& inner) : inner_(inner) {}
    std::optional<std::string> read(const std::string& section,
                                    const std::string& key) const override {
        return inner_.read(section, key);
    }
    bool write(const std::string& section, const std::string& key,
               const std::string& value) override {
        return asNobody([&] { return inner_.write(section, key, value); });
    }
    bool writeAll(const std::string& section,
                  const std::vector<std::pair<std::string, std::string>>& values) override {
        return asNobody([&] { return inner_.writeAll(section, values); });
    }
    int writes = 0;

  private:
    template <typename F>
    bool asNobody(F&& f) {
        ++writes;
        const bool root = ::geteuid() == 0;
        if (root && ::seteuid(65534) != 0) return false;
        const bool ok = f();
        if (root && ::seteuid(0) != 0) std::abort();
        return ok;
    }
    SettingsBackend& inner_;
};

bool dialogShowsPortProblem(MainWindow& w) {
    if (!w.comPortDialog() || !w.comPortDialog()->isVisible()) return false;
    const auto* message = w.comPortDialog()->findChild<QLabel*>("Label2");
    return message && message->text().startsWith("The Serial Communications Port you have");
}

}  // namespace

class TestBadSettings : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() {
        QApplication::setQuitOnLastWindowClosed(false);
        QVERIFY(sharedSim_.start());
    }

    void everyKeyWithABadValue_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        for (const char* key : kKeys) {
            QTest::addRow("%s: a word", key) << key << "abc";
            QTest::addRow("%s: out of range", key)
                << key << QString::fromStdString(outOfRange(key));
            QTest::addRow("%s: empty", key) << key << "";
            QTest::addRow("%s: huge", key) << key << QString(200000, '7');
        }
    }
    void everyKeyWithABadValue() {
        QFETCH(QString, key);
        QFETCH(QString, value);
        const std::string k = key.toStdString();
        const bool usable = k == "Data" || k == "Stop" || (k == "Baud" && value == "12");
        Rig rig;
        // Rows that never reach the radio share one simulator.
        if (usable)
            QVERIFY(rig.start());
        else
            rig.store.values[{"Ports", "COM1"}] = sharedSim_.linkPath().toStdString();
        rig.set(k, value.toStdString());
        MainWindow& w = rig.open();
        const SettingValues& s = rig.state().settings;
        if (!usable) {
            // The load or the serial set-up failed: the dialog, and no sweep.
            QVERIFY(dialogShowsPortProblem(w));
            QVERIFY(!rig.comm.portOpen());
            QCOMPARE(rig.state().trace.size(), std::size_t(50));
            QCOMPARE(s.numberOfPoints, std::int16_t(50));
            if (!isTextKey(k)) {
                // The key that failed and all after it keep their defaults.
                SharedState defaults;
                MemorySettingsBackend empty;
                loadSettings(empty, defaults);
                QCOMPARE(s.graphTop, defaults.settings.graphTop);
                QCOMPARE(s.span, defaults.settings.span);
                QCOMPARE(s.port, defaults.settings.port);
                QCOMPARE(s.numberOfGradiants, defaults.settings.numberOfGradiants);
                QCOMPARE(s.viewMarkers, defaults.settings.viewMarkers);
                QCOMPARE(s.backgroundColor, defaults.settings.backgroundColor);
                // The rig stores a message colour of its own: read only when it comes first.
                const auto at = [](const std::string& name) {
                    return std::find(kKeys.begin(), kKeys.end(), name) - kKeys.begin();
                };
                const Colour expected = at(k) < at("Message Color") ? defaults.settings.messageColor
                                        : k == "Message Color"      ? defaults.settings.messageColor
                                                                    : Rig::kMessageColour;
                QCOMPARE(s.messageColor, expected);
            }
            QTest::qWait(20);
            QVERIFY(rig.state().flags.stopRequested);
            QCOMPARE(sharedSim_.stat("commands"), 0);
            w.close();
        } else {
            QVERIFY(!w.comPortDialog());
            QVERIFY(sweepTwiceAndClose(rig, w));
        }
        QVERIFY(w.unloaded());
        QCOMPARE(rig.store.writes.size(), std::size_t(5));
    }

    // The whole range of ports the stored number can name, including the largest, whose
    // 1-based number does not fit.
    void portNumbersOutsideTheList_data() {
        QTest::addColumn<QString>("port");
        QTest::newRow("-1") << "-1";
        QTest::newRow("255 (COM256)") << "255";
        QTest::newRow("largest") << "2147483647";
        QTest::newRow("smallest") << "-2147483648";
    }
    void portNumbersOutsideTheList() {
        QFETCH(QString, port);
        Rig rig;
        QVERIFY(rig.start());
        rig.set("Port", port.toStdString());
        MainWindow& w = rig.open();
        QVERIFY(dialogShowsPortProblem(w));
        w.close();
        QCOMPARE(rig.store.read("Settings", "Port"),
                 std::optional<std::string>(port.toStdString()));
    }

    void pointCountsTheTraceCannotTake_data() {
        QTest::addColumn<QString>("points");
        for (const char* p : {"0", "-5", "257", "32768"}) QTest::newRow(p) << p;
    }
    void pointCountsTheTraceCannotTake() {
        QFETCH(QString, points);
        Rig rig;
        QVERIFY(rig.start());
        rig.set("Number of Points", points.toStdString());
        MainWindow& w = rig.open();
        QVERIFY(dialogShowsPortProblem(w));
        // The user picks the port by hand; the sweep runs on the default 50 points.
        w.comPortDialog()->findChild<QPushButton*>("Command2")->click();
        QVERIFY(rig.comm.portOpen());
        QVERIFY(sweepTwiceAndClose(rig, w));
        QCOMPARE(rig.state().trace.size(), std::size_t(50));
        int highest = -1;
        const QByteArray sent = bytesToRadio(rig.wire());
        for (qsizetype i = sent.indexOf('\xB1'); i >= 0 && i + 1 < sent.size();
             i = sent.indexOf('\xB1', i + 1))
            highest = std::max(highest, int(static_cast<unsigned char>(sent[i + 1])));
        QCOMPARE(highest, 49);
    }

    void oddLayoutsStillSweep_data() {
        QTest::addColumn<QStringList>("settings");
        QTest::newRow("no grid divisions") << QStringList{"Number of Gradiants", "0"};
        QTest::newRow("negative grid divisions") << QStringList{"Number of Gradiants", "-1"};
        QTest::newRow("many grid divisions") << QStringList{"Number of Gradiants", "400"};
        QTest::newRow("margins wider than the window")
            << QStringList{"Graph Left", "30000", "Graph Right", "30000"};
        QTest::newRow("negative margins")
            << QStringList{"Graph Left", "-30000", "Graph Right", "-30000"};
        QTest::newRow("top below the window") << QStringList{"Graph Top", "30000"};
        QTest::newRow("top far above") << QStringList{"Graph Top", "-32768"};
        QTest::newRow("one point") << QStringList{"Number of Points", "1"};
        QTest::newRow("256 points") << QStringList{"Number of Points", "256"};
        QTest::newRow("zero span") << QStringList{"Span", "0"};
        QTest::newRow("extreme floats")
            << QStringList{"Center Frequency", "-3.4e38", "Span", "3.4e38", "Amplitude", "3.4e38"};
        QTest::newRow("amplitude far below")
            << QStringList{"Amplitude", "-3.4e38", "Graph Top", "32767", "Graph Left", "-32768"};
    }
    void oddLayoutsStillSweep() {
        QFETCH(QStringList, settings);
        Rig rig;
        QVERIFY(rig.start());
        for (int i = 0; i + 1 < settings.size(); i += 2)
            rig.set(settings[i].toStdString(), settings[i + 1].toStdString());
        MainWindow& w = rig.open();
        QVERIFY(!w.comPortDialog());
        QVERIFY(sweepTwiceAndClose(rig, w));
        QCOMPARE(rig.store.writes.size(), std::size_t(5));
    }

    // At exit the settings folder is read-only, or gone: nothing is written, nothing is left
    // half written, and the program still closes normally.
    void unwritableFolderAtExit_data() {
        QTest::addColumn<bool>("removeFolder");
        QTest::newRow("read-only folder") << false;
        QTest::newRow("folder removed") << true;
    }
    void unwritableFolderAtExit() {
        QFETCH(bool, removeFolder);
        test::SimProcess sim;
        QVERIFY(sim.start());
        QTemporaryDir parent;
        const QString folder = parent.filePath("config");
        QVERIFY(QDir().mkpath(folder));
        const QString file = folder + "/KV3710 Spectrum Analyzer.exe.ini";
        QVERIFY(writeSettingsFile(file, sim.linkPath(), "Center Frequency=915.0\n"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray before = f.readAll();
        f.close();

        IniSettingsBackend fileStore(file);
        UnprivilegedWrites store(fileStore);
        SerialComm comm(store);
        QtEventLoop loop;
        SystemLocalClock clock;
        RecordingMessages messages;
        NoDialogs dialogs;
        MainWindow w(AppServices{store, comm, loop, clock, messages, dialogs, "/opt/kv3710"});
        w.load();
        w.show();
        bool closed = false;
        Script script;
        script.then("sweeping", [&] { return w.state().lastSweepEnd != 0; })
            .thenDo("take the folder away and close", [&] {
                if (removeFolder) {
                    QVERIFY(QDir(folder).removeRecursively());
                    // Nor may the folder be made again.
                    QVERIFY(QFile::setPermissions(
                        parent.path(),
                        QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther));
                } else {
                    QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner |
                                                              QFile::ReadOther | QFile::ExeOther));
                    QVERIFY(QFile::setPermissions(
                        parent.path(),
                        QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther));
                    QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadOther));
                }
                w.close();
                closed = true;
            });
        const bool ran = script.run(w, 20000);
        QFile::setPermissions(parent.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY2(ran, qPrintable(script.stoppedAt()));
        QVERIFY(closed);
        QVERIFY(!comm.portOpen());
        QCOMPARE(store.writes, 1);  // the five keys, in one go
        if (removeFolder) {
            QVERIFY(!QFile::exists(folder));
        } else {
            QFile after(file);
            QVERIFY(after.open(QIODevice::ReadOnly));
            QCOMPARE(after.readAll(), before);
            QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
                     QStringList{"KV3710 Spectrum Analyzer.exe.ini"});
        }
    }

  private:
    test::SimProcess sharedSim_;
};

QTEST_MAIN(TestBadSettings)
#include "test_bad_settings.moc"
