#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <optional>

#include "activation_counter.h"
#include "colours_dialog.h"
#include "comport_dialog.h"
#include "fake_event_loop.h"
#include "settings_store.h"

using namespace kv;
using Writes = std::vector<std::pair<std::string, std::string>>;

namespace {

// A colour chooser that answers with a prepared choice.
class ScriptedDialogs : public CommonDialogs {
  public:
    std::optional<Colour> showColor(Colour start) override {
        starts.push_back(start);
        return answer;
    }
    bool showPrinter(QPrinter&) override { return false; }
    std::optional<std::string> showSave(const SaveOptions&) override { return std::nullopt; }

    std::optional<Colour> answer;
    std::vector<Colour> starts;
};

const std::array<const char*, 7> kKeys{"Background Color", "Graph Color",   "Grid Color",
                                       "Label Color",      "Marker1 Color", "Marker2 Color",
                                       "Message Color"};

struct Rig {
    Rig() { QVERIFY(loadSettings(store, state).ok); }

    ColoursDialog* open() {
        dialog = new ColoursDialog(
            state, store, dialogs, [this] { ++redraws; }, &owner);
        return dialog;
    }
    QPushButton* button(int i) const {
        return dialog->findChild<QPushButton*>(QStringLiteral("Command4_%1").arg(i));
    }
    // The colour the button's face shows, read from its rendering.
    Colour face(int i) const {
        const QImage image = button(i)->grab().toImage();
        const QColor c = image.pixelColor(image.width() / 2, image.height() / 2);
        return rgbColour(c.red(), c.green(), c.blue());
    }
    std::array<Colour, 7> settingColours() const {
        const SettingValues& s = state.settings;
        return {s.backgroundColor, s.graphColor,     s.gridColor,   s.labelColor,
                s.markerColor[0],  s.markerColor[1], s.messageColor};
    }

    MemorySettingsBackend store;
    SharedState state;
    ScriptedDialogs dialogs;
    int redraws = 0;
    QWidget owner;
    QPointer<ColoursDialog> dialog;
};

using test::ActivationCounter;

}  // namespace

class TestColoursDialog : public QObject {
    Q_OBJECT
  private slots:
    void buttonsShowTheDefaults() {
        Rig rig;
        rig.open()->show();
        const std::array<Colour, 7> expected{0x000000, 0x00FF00, 0x804000, 0x000000,
                                             0x00FF00, 0x0000FF, 0x00FF00};
        for (int i = 0; i < 7; ++i) QCOMPARE(rig.face(i), expected[i]);
        QVERIFY(rig.store.writes.empty());
        QCOMPARE(rig.redraws, 0);
    }

    void changedColourIsAppliedAndStored_data() {
        QTest::addColumn<int>("row");
        for (int row = 0; row < 7; ++row) QTest::newRow(kKeys[row]) << row;
    }
    void changedColourIsAppliedAndStored() {
        QFETCH(int, row);
        Rig rig;
        rig.open()->show();
        const Colour before = rig.settingColours()[row];
        const Colour chosen = 0x123456;
        rig.dialogs.answer = chosen;
        QTest::mouseClick(rig.button(row), Qt::LeftButton);

        QCOMPARE(rig.dialogs.starts, std::vector<Colour>{before});
        auto expected = std::array<Colour, 7>{0, 65280, 8404992, 0, 65280, 255, 65280};
        expected[row] = chosen;
        QCOMPARE(rig.settingColours(), expected);
        Writes writes;
        for (int i = 0; i < 7; ++i) writes.emplace_back(kKeys[i], std::to_string(expected[i]));
        QCOMPARE(rig.store.writes, writes);
        QCOMPARE(rig.redraws, 1);
        QCOMPARE(rig.face(row), chosen);
    }

    void unchangedColourDoesNothing_data() {
        QTest::addColumn<bool>("cancelled");
        QTest::newRow("same colour") << false;
        QTest::newRow("chooser cancelled") << true;
    }
    void unchangedColourDoesNothing() {
        QFETCH(bool, cancelled);
        Rig rig;
        rig.open()->show();
        if (!cancelled) rig.dialogs.answer = Colour(0x804000);
        QTest::mouseClick(rig.button(2), Qt::LeftButton);
        QCOMPARE(rig.dialogs.starts.size(), std::size_t(1));
        QVERIFY(rig.store.writes.empty());
        QCOMPARE(rig.redraws, 0);
        QCOMPARE(rig.state.settings.gridColor, Colour(0x804000));
        QCOMPARE(rig.face(2), Colour(0x804000));
    }

    void storedColoursReadBack() {
        // A colour stored as a negative number (a high bit set) is written back in the form
        // the loader reads.
        Rig rig;
        rig.store.values[{"Settings", "Label Color"}] = "-2147483643";
        QVERIFY(loadSettings(rig.store, rig.state).ok);
        rig.open();
        rig.dialogs.answer = Colour(0xFFFFFF);
        QTest::mouseClick(rig.button(0), Qt::LeftButton);
        QCOMPARE(rig.store.read("Settings", "Label Color"),
                 std::optional<std::string>("-2147483643"));
        SharedState reloaded;
        QVERIFY(loadSettings(rig.store, reloaded).ok);
        QCOMPARE(reloaded.settings.labelColor, Colour(0x80000005));
        QCOMPARE(reloaded.settings.backgroundColor, Colour(0xFFFFFF));
    }

    void reopeningShowsTheCurrentColours() {
        Rig rig;
        rig.open()->show();
        rig.dialogs.answer = Colour(0x0000FF);
        QTest::mouseClick(rig.button(1), Qt::LeftButton);
        rig.dialog->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(rig.dialog.isNull());
        rig.open()->show();
        QCOMPARE(rig.face(1), Colour(0x0000FF));
    }

    void textsAndLayout() {
        Rig rig;
        ColoursDialog* d = rig.open();
        QCOMPARE(d->windowTitle(), "Settings");
        QVERIFY(!d->isModal());
        QVERIFY(d->testAttribute(Qt::WA_DeleteOnClose));
        QCOMPARE(d->size(), QSize(217, 210));  // 3255 x 3150 twips
        auto* frame = d->findChild<QGroupBox*>("Frame1");
        QCOMPARE(frame->title(), "Colors");
        QCOMPARE(frame->geometry(), QRect(8, 8, 201, 193));
        const QStringList captions{
            "Background Color:", "Graph Color:",   "Grid Color:",   "Label Color:",
            "Marker1 Color:",    "Marker2 Color:", "Message Color:"};
        for (int i = 0; i < 7; ++i) {
            auto* label = d->findChild<QLabel*>(QStringLiteral("Label1_%1").arg(i));
            QCOMPARE(label->text(), captions[i]);
            QVERIFY(label->alignment() & Qt::AlignRight);
            QCOMPARE(label->geometry().right() + 1, 137);  // 2055 twips
            QCOMPARE(rig.button(i)->parentWidget(), frame);
            QCOMPARE(rig.button(i)->geometry(), QRect(152, 24 + 24 * i, 17, 17));
        }
    }

    void takesTheFocusBackFromTheMainWindow() {
        Rig rig;
        rig.owner.show();
        rig.open()->show();
        QVERIFY(QTest::qWaitForWindowActive(rig.dialog.data()));
        ActivationCounter ownerActivations(rig.owner);
        rig.owner.activateWindow();
        QVERIFY(QTest::qWaitFor([&] { return ownerActivations.count > 0; }));
        QVERIFY(QTest::qWaitFor([&] { return QApplication::activeWindow() == rig.dialog; }));
    }

    void twoDialogsDoNotFightOverTheFocus() {
        Rig rig;
        test::FakeEventLoop loop;
        test::ScriptedComm comm(loop);
        rig.owner.show();
        rig.open()->show();
        QVERIFY(QTest::qWaitForWindowActive(rig.dialog.data()));
        auto* portDialog = new ComPortDialog(rig.state, comm, rig.store, &rig.owner);
        ActivationCounter colourActivations(*rig.dialog);
        ActivationCounter portActivations(*portDialog);
        portDialog->show();
        portDialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(portDialog));
        QTest::qWait(50);
        QCOMPARE(QApplication::activeWindow(), portDialog);
        QCOMPARE(colourActivations.count, 0);
        QCOMPARE(portActivations.count, 1);
    }
};

QTEST_MAIN(TestColoursDialog)
#include "test_colours_dialog.moc"
