// The two settings dialogs as a user works them: what the serial port dialog shows for the
// stored choice, what OK opens and stores; what a colour choice changes on the buttons and in
// the store; and the focus keeper that keeps a dialog in front of the program's windows.
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "memory_settings_backend.h"
#include "colours_dialog.h"
#include "comport_dialog.h"
#include "fake_event_loop.h"
#include "focus_keeper.h"
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

// The main window's side of a dialog: state, serial control, store and owner window.
struct Rig {
    Rig() {
        loadSettings(store, state);
        comm.setPortOpen(true);
    }
    template <typename T>
    T* child(const QString& name) const {
        return dialog->findChild<T*>(name);
    }
    ComPortDialog* openPort() {
        dialog = new ComPortDialog(state, comm, store, &owner);
        return static_cast<ComPortDialog*>(dialog.data());
    }
    QString message() const { return child<QLabel>("Label2")->text(); }
    void openColours() {
        dialog = new ColoursDialog(
            state, store, dialogs, [this] { ++redraws; }, &owner);
        dialog->show();
    }
    // The colour a colour button's face shows, read from its rendering.
    Colour face(int i) const {
        const QImage image = child<QPushButton>(QString("Command4_%1").arg(i))->grab().toImage();
        const QColor c = image.pixelColor(image.width() / 2, image.height() / 2);
        return rgbColour(c.red(), c.green(), c.blue());
    }
    bool closedAndDeleted() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return dialog.isNull();
    }

    test::FakeEventLoop loop;
    test::ScriptedComm comm{loop};
    MemorySettingsBackend store;
    SharedState state;
    ScriptedDialogs dialogs;
    int redraws = 0;
    QWidget owner;
    QPointer<QDialog> dialog;
};

const QString kProblem =
    "The Serial Communications Port you have selected is either invalid or "
    "in use by another program.  Please select another port.";

}  // namespace

class TestDialogs : public QObject {
    Q_OBJECT
  private slots:
    void portDialogShowsTheStoredChoice_data() {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("storedBaud");  // null: key absent
        QTest::addColumn<int>("portIndex");
        QTest::addColumn<int>("baudIndex");
        QTest::newRow("defaults: COM1, 115200") << 0 << QString() << 0 << 11;
        QTest::newRow("COM16, 110") << 15 << "0" << 15 << 0;
        QTest::newRow("stored index rounds") << 0 << "4.5" << 0 << 4;
        QTest::newRow("port 16") << 16 << "11" << -1 << 11;
        QTest::newRow("negative port") << -1 << "11" << -1 << 11;
        QTest::newRow("baud 12") << 0 << "12" << 0 << -1;
        QTest::newRow("negative baud") << 0 << "-1" << 0 << -1;
        QTest::newRow("a rate, not an index") << 0 << "9600" << 0 << -1;
        QTest::newRow("not a number") << 0 << "fast" << 0 << -1;
    }
    void portDialogShowsTheStoredChoice() {
        QFETCH(int, port);
        QFETCH(QString, storedBaud);
        QFETCH(int, portIndex);
        QFETCH(int, baudIndex);
        Rig rig;
        rig.state.settings.port = port;
        rig.state.settings.baud = "115200";  // by now the variable holds the rate
        if (!storedBaud.isNull()) rig.store.values[{"Settings", "Baud"}] = storedBaud.toStdString();
        rig.comm.setPortOpen(portIndex >= 0);
        rig.openPort();
        QCOMPARE(rig.child<QComboBox>("Settings_Port_Box")->currentIndex(), portIndex);
        QCOMPARE(rig.child<QComboBox>("Settings_Baud_Box")->currentIndex(), baudIndex);
        QCOMPARE(rig.message() == kProblem, portIndex < 0);
        QVERIFY(rig.store.writes.empty());
    }

    void portDialogOk_data() {
        QTest::addColumn<int>("storedPort");
        QTest::addColumn<int>("portIndex");  // -1: left as loaded
        QTest::addColumn<int>("baudIndex");
        QTest::addColumn<bool>("inUse");
        QTest::addColumn<QString>("opened");  // the line settings opened; empty: none
        QTest::newRow("COM3, 9600") << 0 << 2 << 5 << false << "9600,n,8,1";
        QTest::newRow("unchanged: reopened") << 0 << 0 << 11 << false << "115200,n,8,1";
        QTest::newRow("COM16, 110") << 0 << 15 << 0 << false << "110,n,8,1";
        QTest::newRow("no port to show") << 20 << -1 << 5 << false << "";
        QTest::newRow("port in use") << 0 << 4 << 11 << true << "";
    }
    void portDialogOk() {
        QFETCH(int, storedPort);
        QFETCH(int, portIndex);
        QFETCH(int, baudIndex);
        QFETCH(bool, inUse);
        QFETCH(QString, opened);
        Rig rig;
        rig.state.settings.port = storedPort;
        rig.comm.failOpen = inUse;
        ComPortDialog* dialog = rig.openPort();
        dialog->show();
        QSignalSpy openedSignal(dialog, &ComPortDialog::portOpened);
        if (portIndex >= 0) rig.child<QComboBox>("Settings_Port_Box")->setCurrentIndex(portIndex);
        rig.child<QComboBox>("Settings_Baud_Box")->setCurrentIndex(baudIndex);
        rig.child<QPushButton>("Command2")->click();
        QCOMPARE(openedSignal.count(), opened.isEmpty() ? 0 : 1);
        if (opened.isEmpty()) {
            QCOMPARE(rig.message(), kProblem);
            QVERIFY(rig.store.writes.empty());
            QCOMPARE(rig.state.settings.port, storedPort);
            // An unusable choice leaves the old port alone; a port in use closes it first.
            QCOMPARE(rig.comm.portOpen(), !inUse);
            QVERIFY(!rig.closedAndDeleted());
            return;
        }
        QCOMPARE(rig.comm.commPort(), portIndex + 1);
        QCOMPARE(QString::fromStdString(rig.comm.settings()), opened);
        QVERIFY(rig.comm.portOpen());
        QCOMPARE(rig.comm.handshakingWrites, std::vector<int>{0});
        QCOMPARE(rig.comm.rtsWrites, std::vector<bool>{false});
        QCOMPARE(rig.store.writes, (Writes{{"Port", std::to_string(portIndex)},
                                           {"Baud", std::to_string(baudIndex)}}));
        QCOMPARE(rig.state.settings.port, portIndex);
        QVERIFY(rig.closedAndDeleted());
    }

    // Whatever the face, the labels show their whole text beside their lists, everything
    // stays inside the frame, and the longer message fits above the port list.
    void portDialogFitsTheFace() {
        Rig rig;
        rig.comm.setPortOpen(false);
        rig.openPort();
        const QRect inside = rig.child<QGroupBox>("Frame1")->rect();
        for (const auto& [label, list] :
             {std::pair{"Label1", "Settings_Port_Box"}, std::pair{"Label3", "Settings_Baud_Box"}}) {
            const QRect box = rig.child<QComboBox>(list)->geometry();
            const QLabel* l = rig.child<QLabel>(label);
            QVERIFY(l->width() >= l->sizeHint().width());
            QVERIFY(inside.contains(l->geometry()) && inside.contains(box));
            QCOMPARE(l->geometry().right() + 8, box.left());
        }
        const QLabel* message = rig.child<QLabel>("Label2");
        QCOMPARE(message->text(), kProblem);
        QVERIFY(message->heightForWidth(message->width()) <= message->height());
        QVERIFY(message->geometry().bottom() < rig.child<QComboBox>("Settings_Port_Box")->y());
    }

    void colourChoice_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("answer");  // -1: the chooser is cancelled
        QTest::addColumn<bool>("changes");
        for (int row = 0; row < 7; ++row) QTest::addRow("row %d", row) << row << 0x123456 << true;
        QTest::newRow("same colour") << 2 << 0x804000 << false;
        QTest::newRow("chooser cancelled") << 2 << -1 << false;
    }
    void colourChoice() {
        QFETCH(int, row);
        QFETCH(int, answer);
        QFETCH(bool, changes);
        Rig rig;
        // A colour stored as a negative number (a high bit set) is written back in that form.
        rig.store.values[{"Settings", "Label Color"}] = "-2147483643";
        loadSettings(rig.store, rig.state);
        rig.openColours();
        const Colour before = rig.face(row);
        if (answer >= 0) rig.dialogs.answer = Colour(answer);
        QTest::mouseClick(rig.child<QPushButton>(QString("Command4_%1").arg(row)), Qt::LeftButton);
        QCOMPARE(rig.dialogs.starts.size(), std::size_t(1));
        QCOMPARE(rig.dialogs.starts[0] & 0xFFFFFF, before);
        const Colour now = changes ? Colour(answer) : before;
        QCOMPARE(rig.face(row), now);
        QCOMPARE(rig.redraws, changes ? 1 : 0);
        QCOMPARE(rig.store.writes.size(), std::size_t(changes ? 7 : 0));
        // What was stored loads as the dialog shows it, also after reopening.
        SharedState reloaded;
        QVERIFY(loadSettings(rig.store, reloaded).ok);
        QCOMPARE(reloaded.settings.labelColor, row == 3 && changes ? now : Colour(0x80000005));
        rig.dialog->close();
        QVERIFY(rig.closedAndDeleted());
        rig.openColours();
        QCOMPARE(rig.face(row), now);
        for (int i = 0; i < 7; ++i)
            if (i != row) QCOMPARE(rig.face(i) == now, false);
    }

    // Another window of the program activated over a kept dialog: the dialog takes the focus
    // back from the main window, but leaves a modal window and another kept dialog alone.
    void focusKeeper_data() {
        QTest::addColumn<QString>("other");
        QTest::addColumn<bool>("reclaimed");
        QTest::newRow("main window") << "main" << true;
        QTest::newRow("modal message box") << "modal" << false;
        QTest::newRow("another kept dialog") << "kept" << false;
    }
    void focusKeeper() {
        QFETCH(QString, other);
        QFETCH(bool, reclaimed);
        QWidget owner;
        owner.show();
        QDialog kept(&owner);
        new FocusKeeper(kept);
        kept.show();
        QVERIFY(QTest::qWaitForWindowActive(&kept));
        QMessageBox box(QMessageBox::Information, "x", "y", QMessageBox::Ok, &owner);
        QDialog second(&owner);
        new FocusKeeper(second);
        QWidget* activated = &owner;
        if (other == "modal") {
            box.setWindowModality(Qt::ApplicationModal);
            activated = &box;
        } else if (other == "kept") {
            activated = &second;
        }
        activated->show();
        activated->activateWindow();
        QVERIFY(QTest::qWaitFor([&] { return QApplication::activeWindow() == activated; }));
        QTest::qWait(50);
        QCOMPARE(QApplication::activeWindow(), reclaimed ? &kept : activated);
    }
};

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
