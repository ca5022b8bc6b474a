#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <optional>

#include "activation_counter.h"
#include "comport_dialog.h"
#include "fake_event_loop.h"
#include "settings_store.h"

using namespace kv;
using Writes = std::vector<std::pair<std::string, std::string>>;

namespace {

QString text(std::string_view s) {
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

// The main window side of the dialog: state, serial control and store.
struct Rig {
    Rig() {
        QVERIFY(loadSettings(store, state).ok);
        comm.setPortOpen(true);
    }

    ComPortDialog* open() {
        dialog = new ComPortDialog(state, comm, store, &owner);
        return dialog;
    }
    QComboBox* portBox() const { return dialog->findChild<QComboBox*>("Settings_Port_Box"); }
    QComboBox* baudBox() const { return dialog->findChild<QComboBox*>("Settings_Baud_Box"); }
    QString message() const { return dialog->findChild<QLabel*>("Label2")->text(); }
    void click(const char* name) const {
        QTest::mouseClick(dialog->findChild<QPushButton*>(name), Qt::LeftButton);
    }
    bool closedAndDeleted() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return dialog.isNull();
    }

    test::FakeEventLoop loop;
    test::ScriptedComm comm{loop};
    MemorySettingsBackend store;
    SharedState state;
    QWidget owner;
    QPointer<ComPortDialog> dialog;
};

using test::ActivationCounter;

}  // namespace

class TestComPortDialog : public QObject {
    Q_OBJECT
  private slots:
    void loadShowsPortState_data() {
        QTest::addColumn<bool>("portOpen");
        QTest::addColumn<QString>("message");
        QTest::newRow("open") << true << text(ComPortDialog::kReadyMessage);
        QTest::newRow("closed") << false << text(ComPortDialog::kPortProblemMessage);
    }
    void loadShowsPortState() {
        QFETCH(bool, portOpen);
        QFETCH(QString, message);
        Rig rig;
        rig.comm.setPortOpen(portOpen);
        rig.open();
        QCOMPARE(rig.message(), message);
    }

    void messagesWordForWord() {
        QCOMPARE(text(ComPortDialog::kReadyMessage),
                 "Select a COM port to communicate with spectrum analyzer.");
        QCOMPARE(text(ComPortDialog::kPortProblemMessage),
                 "The Serial Communications Port you have selected is either invalid or in use "
                 "by another program.  Please select another port.");
    }

    void loadSelectsStoredChoice_data() {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("storedBaud");  // null: key absent
        QTest::addColumn<int>("portIndex");
        QTest::addColumn<int>("baudIndex");
        QTest::newRow("defaults: COM1, 115200") << 0 << QString() << 0 << 11;
        QTest::newRow("COM3, 9600") << 2 << "5" << 2 << 5;
        QTest::newRow("COM16, 110") << 15 << "0" << 15 << 0;
        QTest::newRow("stored index rounds") << 0 << "4.5" << 0 << 4;
        QTest::newRow("port 16") << 16 << "11" << -1 << 11;
        QTest::newRow("negative port") << -1 << "11" << -1 << 11;
        QTest::newRow("baud 12") << 0 << "12" << 0 << -1;
        QTest::newRow("negative baud") << 0 << "-1" << 0 << -1;
        QTest::newRow("a rate, not an index") << 0 << "9600" << 0 << -1;
        QTest::newRow("beyond 16 bits") << 0 << "115200" << 0 << -1;
        QTest::newRow("not a number") << 0 << "fast" << 0 << -1;
    }
    void loadSelectsStoredChoice() {
        QFETCH(int, port);
        QFETCH(QString, storedBaud);
        QFETCH(int, portIndex);
        QFETCH(int, baudIndex);
        Rig rig;
        rig.state.settings.port = port;
        rig.state.settings.baud = "115200";  // by now the variable holds the rate
        if (!storedBaud.isNull()) rig.store.values[{"Settings", "Baud"}] = storedBaud.toStdString();
        rig.open();
        QCOMPARE(rig.portBox()->currentIndex(), portIndex);
        QCOMPARE(rig.baudBox()->currentIndex(), baudIndex);
        QVERIFY(rig.store.writes.empty());
    }

    void okWithNothingSelectedKeepsThePort_data() {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("storedBaud");
        QTest::newRow("port 20") << 20 << "5";
        QTest::newRow("baud 30") << 1 << "30";
    }
    void okWithNothingSelectedKeepsThePort() {
        QFETCH(int, port);
        QFETCH(QString, storedBaud);
        Rig rig;
        rig.state.settings.port = port;
        rig.store.values[{"Settings", "Baud"}] = storedBaud.toStdString();
        rig.open()->show();
        QSignalSpy opened(rig.dialog.data(), &ComPortDialog::portOpened);
        rig.click("Command2");
        QCOMPARE(rig.message(), text(ComPortDialog::kPortProblemMessage));
        QVERIFY(rig.dialog->isVisible());
        QVERIFY(rig.comm.portOpen());
        QCOMPARE(opened.count(), 0);
        QVERIFY(rig.store.writes.empty());
    }

    void okOpensAndStores_data() {
        QTest::addColumn<int>("portIndex");
        QTest::addColumn<int>("baudIndex");
        QTest::addColumn<int>("commPort");
        QTest::addColumn<QString>("lineSettings");
        QTest::newRow("COM3, 9600") << 2 << 5 << 3 << "9600,n,8,1";
        // The same choice again: closed, reopened and stored again.
        QTest::newRow("unchanged") << 0 << 11 << 1 << "115200,n,8,1";
        QTest::newRow("COM16, 110") << 15 << 0 << 16 << "110,n,8,1";
    }
    void okOpensAndStores() {
        QFETCH(int, portIndex);
        QFETCH(int, baudIndex);
        QFETCH(int, commPort);
        QFETCH(QString, lineSettings);
        Rig rig;
        rig.open()->show();
        QSignalSpy opened(rig.dialog.data(), &ComPortDialog::portOpened);
        rig.portBox()->setCurrentIndex(portIndex);
        rig.baudBox()->setCurrentIndex(baudIndex);
        rig.click("Command2");
        QCOMPARE(rig.comm.commPort(), commPort);
        QCOMPARE(rig.comm.settings(), lineSettings.toStdString());
        QVERIFY(rig.comm.portOpen());
        QCOMPARE(rig.comm.handshakingWrites, std::vector<int>{0});
        QCOMPARE(rig.comm.rtsWrites, std::vector<bool>{false});
        QCOMPARE(rig.store.writes, (Writes{{"Port", std::to_string(portIndex)},
                                           {"Baud", std::to_string(baudIndex)}}));
        QCOMPARE(rig.state.settings.port, portIndex);
        QCOMPARE(rig.state.settings.baud, lineSettings.section(',', 0, 0).toStdString());
        QCOMPARE(opened.count(), 1);
        QVERIFY(rig.closedAndDeleted());
    }

    void okOnAPortInUseStaysOpen() {
        Rig rig;
        rig.comm.failOpen = true;
        rig.open()->show();
        QSignalSpy opened(rig.dialog.data(), &ComPortDialog::portOpened);
        QCOMPARE(rig.message(), text(ComPortDialog::kReadyMessage));
        rig.portBox()->setCurrentIndex(4);
        rig.click("Command2");
        QCOMPARE(rig.message(), text(ComPortDialog::kPortProblemMessage));
        QVERIFY(!rig.comm.portOpen());  // the old port was closed first
        QVERIFY(rig.store.writes.empty());
        QCOMPARE(rig.state.settings.port, 0);
        QCOMPARE(opened.count(), 0);
        QVERIFY(!rig.closedAndDeleted());
        QVERIFY(rig.dialog->isVisible());

        // Another choice that works still succeeds from here.
        rig.comm.failOpen = false;
        rig.click("Command2");
        QCOMPARE(rig.store.writes, (Writes{{"Port", "4"}, {"Baud", "11"}}));
        QCOMPARE(opened.count(), 1);
    }

    void cancelStoresNothing() {
        Rig rig;
        rig.open()->show();
        rig.portBox()->setCurrentIndex(7);
        rig.baudBox()->setCurrentIndex(1);
        rig.click("Command1");
        QVERIFY(rig.closedAndDeleted());
        QVERIFY(rig.store.writes.empty());
        QCOMPARE(rig.state.settings.port, 0);
        QCOMPARE(rig.comm.commPort(), 1);
        QVERIFY(rig.comm.portOpen());
    }

    void portTooltipsShowTheDevice() {
        Rig rig;
        rig.store.values[{"Ports", "COM2"}] = "/dev/ttyUSB0";
        rig.open();
        QComboBox* box = rig.portBox();
        QCOMPARE(box->itemData(0, Qt::ToolTipRole).toString(), "/dev/ttyS0");
        QCOMPARE(box->itemData(1, Qt::ToolTipRole).toString(), "/dev/ttyUSB0");
        QCOMPARE(box->itemData(15, Qt::ToolTipRole).toString(), "/dev/ttyS15");
        QCOMPARE(box->toolTip(), "/dev/ttyS0");
        box->setCurrentIndex(1);
        QCOMPARE(box->toolTip(), "/dev/ttyUSB0");
    }

    void textsAndLayout() {
        Rig rig;
        ComPortDialog* d = rig.open();
        QCOMPARE(d->windowTitle(), "Comm Port Select");
        QVERIFY(!d->isModal());
        QVERIFY(d->testAttribute(Qt::WA_DeleteOnClose));
        QCOMPARE(d->size(), QSize(294, 214));  // 4410 x 3210 twips

        auto* frame = d->findChild<QGroupBox*>("Frame1");
        QCOMPARE(frame->title(), "COM Port Setting");
        QCOMPARE(frame->geometry(), QRect(8, 8, 281, 169));

        QStringList ports;
        for (int i = 0; i < rig.portBox()->count(); ++i) ports << rig.portBox()->itemText(i);
        QStringList expectedPorts;
        for (int i = 1; i <= 16; ++i) expectedPorts << QStringLiteral("COM%1").arg(i);
        QCOMPARE(ports, expectedPorts);
        QStringList rates;
        for (int i = 0; i < rig.baudBox()->count(); ++i) rates << rig.baudBox()->itemText(i);
        QCOMPARE(rates, (QStringList{"110", "300", "1200", "2400", "4800", "9600", "14400", "19200",
                                     "28800", "38400", "57600", "115200"}));

        auto* portLabel = d->findChild<QLabel*>("Label1");
        auto* baudLabel = d->findChild<QLabel*>("Label3");
        QCOMPARE(portLabel->text(), "&Port:");
        QCOMPARE(baudLabel->text(), "&Baud Rate:");
        QCOMPARE(portLabel->buddy(), rig.portBox());
        QCOMPARE(baudLabel->buddy(), rig.baudBox());
        QVERIFY(portLabel->alignment() & Qt::AlignRight);
        QVERIFY(baudLabel->alignment() & Qt::AlignRight);

        auto* message = d->findChild<QLabel*>("Label2");
        QCOMPARE(message->geometry().topLeft(), QPoint(8, 24));
        QCOMPARE(message->width(), 265);
        QVERIFY(message->alignment() & Qt::AlignHCenter);
        QVERIFY(message->wordWrap());

        auto* ok = d->findChild<QPushButton*>("Command2");
        auto* cancel = d->findChild<QPushButton*>("Command1");
        QCOMPARE(ok->text(), "OK");
        QCOMPARE(cancel->text(), "Cancel");
        QCOMPARE(ok->geometry(), QRect(136, 184, 73, 25));
        QCOMPARE(cancel->geometry(), QRect(216, 184, 73, 25));
    }

    void layoutFitsTheFace_data() {
        QTest::addColumn<QString>("family");
        QTest::addColumn<bool>("asDrawn");  // the face is narrow enough for the given layout
        QTest::newRow("narrow face") << "Nimbus Sans Narrow" << true;
        QTest::newRow("wide face") << "DejaVu Sans" << false;
    }
    void layoutFitsTheFace() {
        QFETCH(QString, family);
        QFETCH(bool, asDrawn);
        const QFont appFont = QApplication::font();
        QApplication::setFont(QFont(family, 9));
        const auto restore = qScopeGuard([&] { QApplication::setFont(appFont); });
        if (!QFontInfo(QFont(family)).family().startsWith(family)) QSKIP("face not installed");

        Rig rig;
        ComPortDialog* d = rig.open();
        auto* portLabel = d->findChild<QLabel*>("Label1");
        auto* baudLabel = d->findChild<QLabel*>("Label3");
        auto* message = d->findChild<QLabel*>("Label2");
        if (asDrawn) {
            QCOMPARE(portLabel->geometry(), QRect(40, 104, 25, 17));
            QCOMPARE(baudLabel->geometry(), QRect(8, 136, 57, 17));
            QCOMPARE(rig.portBox()->geometry().topLeft(), QPoint(72, 96));
            QCOMPARE(rig.baudBox()->geometry().topLeft(), QPoint(72, 128));
            QCOMPARE(rig.portBox()->width(), 185);
            QCOMPARE(rig.baudBox()->width(), 185);
        }
        // Whatever the face: the labels show their whole text, keep their 7-pixel gap to
        // the lists, and everything stays inside the frame.
        const QRect inside = d->findChild<QGroupBox*>("Frame1")->rect();
        for (QLabel* label : {portLabel, baudLabel}) {
            QVERIFY(label->width() >= label->sizeHint().width());
            QVERIFY(inside.contains(label->geometry()));
        }
        QCOMPARE(portLabel->geometry().right() + 8, rig.portBox()->x());
        QCOMPARE(baudLabel->geometry().right() + 8, rig.baudBox()->x());
        QCOMPARE(portLabel->y(), 104);
        QCOMPARE(baudLabel->y(), 136);
        QCOMPARE(rig.portBox()->y(), 96);
        QCOMPARE(rig.baudBox()->y(), 128);
        QVERIFY(inside.contains(rig.portBox()->geometry()));
        QVERIFY(inside.contains(rig.baudBox()->geometry()));
        // The longer message fits between the frame's caption and the port list.
        rig.comm.setPortOpen(false);
        rig.click("Command1");
        rig.open();
        message = rig.dialog->findChild<QLabel*>("Label2");
        QCOMPARE(message->text(), text(ComPortDialog::kPortProblemMessage));
        QVERIFY(message->heightForWidth(message->width()) <= message->height());
        QVERIFY(message->geometry().bottom() < rig.portBox()->y());
    }

    void accessKeysReachTheLists() {
        Rig rig;
        rig.open()->show();
        QVERIFY(QTest::qWaitForWindowActive(rig.dialog.data()));
        QTest::keyClick(rig.dialog.data(), Qt::Key_B, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), rig.baudBox());
        QTest::keyClick(rig.dialog.data(), Qt::Key_P, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), rig.portBox());
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

    void leavesAModalWindowAlone() {
        Rig rig;
        rig.owner.show();
        rig.open()->show();
        QVERIFY(QTest::qWaitForWindowActive(rig.dialog.data()));
        QMessageBox box(QMessageBox::Information, "x", "y", QMessageBox::Ok, &rig.owner);
        box.setWindowModality(Qt::ApplicationModal);
        box.show();
        box.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&box));
        QTest::qWait(50);
        QCOMPARE(QApplication::activeWindow(), &box);
    }
};

QTEST_MAIN(TestComPortDialog)
#include "test_comport_dialog.moc"
