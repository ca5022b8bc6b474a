// The dialogs as a user works them: what the serial port dialog shows for the stored choice
// and what its OK opens and stores; what a colour choice changes on the buttons and in the
// store; the focus keeper that keeps a dialog in front; and Print and Save on the window
// picture (the BMP file's pixels, the PDF's pages, drawn as vectors where the window has them).
#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QtEndian>

#include "app_doubles.h"
#include "colours_dialog.h"
#include "comport_dialog.h"
#include "default_state.h"
#include "display.h"
#include "fake_event_loop.h"
#include "fake_machine.h"
#include "focus_keeper.h"
#include "image_surface.h"
#include "memory_settings_backend.h"
#include "print_save.h"
#include "qt_colour.h"
#include "qt_common_dialogs.h"
#include "qt_picture_output.h"
#include "settings_store.h"
#include "spectrum_model.h"

using namespace kv;
using test::ScriptedDialogs;
using Writes = std::vector<std::pair<std::string, std::string>>;

namespace {

// The main window's side of a dialog: state, serial control, store and owner window.
struct Rig {
    Rig() { (void)loadSettings(store, state); }  // each test checks what it needs
    template <typename T = QPushButton>
    T* child(const QString& name) const {
        return dialog->findChild<T*>(name);
    }
    // The colour a colour button's face shows, read from its rendering.
    Colour face(int i) const {
        const QImage image = child(QString("Command4_%1").arg(i))->grab().toImage();
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
    test::FakeMachine machine;
    SharedState state;
    ScriptedDialogs dialogs;
    int redraws = 0;
    QWidget owner;
    QPointer<QDialog> dialog;
};

const QString kProblem =
    "The Serial Communications Port you have selected is either invalid or "
    "in use by another program.  Please select another port.";

// A picture with distinct pixels to compare.
void drawSomething(ImageSurface& surface) {
    surface.resize(160, 90);
    surface.clear();
    surface.line(150, 150, 1200, 900, rgbColour(0, 255, 0));
    surface.filledBox(1500, 300, 2200, 1200, rgbColour(0x12, 0x34, 0x56));
}

}  // namespace

class TestDialogs : public QObject {
    Q_OBJECT
  private slots:
    void portDialog_data() {
        QTest::addColumn<QStringList>("row");
        // stored port | stored baud (- absent) | lists show port, baud | chosen port, baud
        // (- as shown) | the port is in use | line settings opened by OK (- none)
        const QString table = R"(0|-|0|11|-|-|0|115200,n,8,1
15|0|15|0|-|-|0|110,n,8,1
0|4.5|0|4|-|-|0|4800,n,8,1
0|-|0|11|2|5|0|9600,n,8,1
16|11|-1|11|-|-|0|-
-1|11|-1|11|-|-|0|-
0|12|0|-1|-|-|0|-
0|-1|0|-1|-|-|0|-
0|9600|0|-1|-|-|0|-
0|fast|0|-1|-|-|0|-
0|-|0|11|4|-|1|-)";
        for (const QString& row : table.split('\n'))
            QTest::newRow(qPrintable(row)) << row.split('|');
    }
    void portDialog() {
        QFETCH(QStringList, row);
        Rig rig;
        rig.state.settings.port = row[0].toInt();
        rig.state.settings.baud = "115200";  // by now the variable holds the rate
        if (row[1] != "-") rig.store.values[{"Settings", "Baud"}] = row[1].toStdString();
        rig.comm.setPortOpen(true);
        rig.comm.failOpen = row[6] == "1";
        auto* dialog = new ComPortDialog(rig.state, rig.comm, rig.store, rig.machine, &rig.owner);
        rig.dialog = dialog;
        dialog->show();
        QSignalSpy opened(dialog, &ComPortDialog::portOpened);
        auto* port = rig.child<QComboBox>("Settings_Port_Box");
        auto* baud = rig.child<QComboBox>("Settings_Baud_Box");
        QCOMPARE(port->currentIndex(), row[2].toInt());
        QCOMPARE(baud->currentIndex(), row[3].toInt());
        if (row[4] != "-") port->setCurrentIndex(row[4].toInt());
        if (row[5] != "-") baud->setCurrentIndex(row[5].toInt());
        rig.child("Command2")->click();
        if (row[7] == "-") {
            QCOMPARE(opened.count(), 0);
            QCOMPARE(rig.child<QLabel>("Label2")->text(), kProblem);
            QVERIFY(rig.store.writes.empty());
            QCOMPARE(rig.state.settings.port, row[0].toInt());
            // An unusable choice leaves the old port alone; a port in use closes it first.
            QCOMPARE(rig.comm.portOpen(), row[6] == "0");
            QVERIFY(!rig.closedAndDeleted());
            return;
        }
        QCOMPARE(opened.count(), 1);
        QCOMPARE(rig.comm.commPort(), port->currentIndex() + 1);
        QCOMPARE(QString::fromStdString(rig.comm.settings()), row[7]);
        QVERIFY(rig.comm.portOpen());
        QCOMPARE(rig.comm.handshakingWrites, std::vector<int>{0});
        QCOMPARE(rig.comm.rtsWrites, std::vector<bool>{false});
        QCOMPARE(rig.store.writes, (Writes{{"Port", std::to_string(port->currentIndex())},
                                           {"Baud", std::to_string(baud->currentIndex())}}));
        QCOMPARE(rig.state.settings.port, port->currentIndex());
        QVERIFY(rig.closedAndDeleted());
    }

    // Whatever the face, the labels show their whole text beside their lists, everything
    // stays inside the frame, and the longer message fits above the port list.
    void portDialogFitsTheFace() {
        Rig rig;
        rig.dialog = new ComPortDialog(rig.state, rig.comm, rig.store, rig.machine, &rig.owner);
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
        for (int row = 0; row < 7; ++row) QTest::addRow("row %d", row) << row << 0x123456;
        QTest::newRow("same colour") << 2 << 0x804000;
        QTest::newRow("chooser cancelled") << 2 << -1;
    }
    void colourChoice() {
        QFETCH(int, row);
        QFETCH(int, answer);
        Rig rig;
        // A colour stored as a negative number (a high bit set) is written back in that form.
        rig.store.values[{"Settings", "Label Color"}] = "-2147483643";
        QVERIFY(loadSettings(rig.store, rig.state).ok);
        const auto open = [&] {
            rig.dialog = new ColoursDialog(
                rig.state, rig.store, rig.dialogs, [&] { ++rig.redraws; }, &rig.owner);
            rig.dialog->show();
        };
        open();
        const Colour before = rig.face(row);
        if (answer >= 0) rig.dialogs.colour = Colour(answer);
        QTest::mouseClick(rig.child(QString("Command4_%1").arg(row)), Qt::LeftButton);
        QCOMPARE(rig.dialogs.starts.size(), std::size_t(1));
        QCOMPARE(rig.dialogs.starts[0] & 0xFFFFFF, before);
        const bool changes = answer >= 0 && Colour(answer) != before;
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
        open();
        QCOMPARE(rig.face(row), now);
        for (int i = 0; i < 7; ++i) QVERIFY(i == row || rig.face(i) != now);
    }

    // Another window of the program activated over a kept dialog: the dialog takes the focus
    // back from the main window, but leaves a modal window and another kept dialog alone.
    void focusKeeper_data() {
        QTest::addColumn<QString>("other");
        QTest::newRow("main window") << "main";
        QTest::newRow("modal message box") << "modal";
        QTest::newRow("another kept dialog") << "kept";
    }
    void focusKeeper() {
        QFETCH(QString, other);
        QWidget owner;
        owner.show();
        QDialog kept(&owner);
        new FocusKeeper(kept);
        kept.show();
        QVERIFY(QTest::qWaitForWindowActive(&kept));
        QMessageBox box(QMessageBox::Information, "x", "y", QMessageBox::Ok, &owner);
        box.setWindowModality(Qt::ApplicationModal);
        QDialog second(&owner);
        new FocusKeeper(second);
        QWidget* activated = other == "main" ? &owner : other == "modal" ? &box : &second;
        activated->show();
        activated->activateWindow();
        QVERIFY(QTest::qWaitFor([&] { return QApplication::activeWindow() == activated; }));
        QTest::qWait(50);
        QCOMPARE(QApplication::activeWindow(), other == "main" ? &kept : activated);
    }

    void save_data() {
        QTest::addColumn<QString>("typed");    // null: cancelled
        QTest::addColumn<QString>("written");  // null: nothing written
        for (const QString& row : QString("old.bmp|old.bmp\ntrace|trace.bmp\ntrace.png|trace.png\n"
                                          "run.1/trace|run.1/trace.bmp\nmissing/trace.bmp|\nrun.1|")
                                      .split('\n')) {
            const QString written = row.section('|', 1);
            QTest::newRow(qPrintable(row))
                << row.section('|', 0, 0) << (written.isEmpty() ? QString() : written);
        }
        QTest::newRow("cancelled") << QString() << QString();
    }
    void save() {
        QFETCH(QString, typed);
        QFETCH(QString, written);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("run.1"));
        QFile old(dir.filePath("old.bmp"));
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write(QByteArray(100000, 'x')) > 0);
        old.close();
        ImageSurface surface;
        drawSomething(surface);
        ScriptedDialogs dialogs;
        if (!typed.isNull()) dialogs.savePath = dir.filePath(typed).toStdString();
        QtPictureOutput output(dialogs, surface, nullptr);
        QCOMPARE(savePicture(output), !written.isNull());
        const QStringList files = QDir(dir.path()).entryList(QDir::Files) +
                                  QDir(dir.filePath("run.1")).entryList(QDir::Files);
        QCOMPARE(files.size(), written.isNull() || written == "old.bmp" ? 1 : 2);
        if (written.isNull()) return;
        QFile file(dir.filePath(written));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.startsWith("BM"));
        QCOMPARE(qsizetype(qFromLittleEndian<quint32>(bytes.constData() + 2)), bytes.size());
        QCOMPARE(QImage::fromData(bytes, "BMP").convertToFormat(QImage::Format_RGB32),
                 surface.windowPicture().convertToFormat(QImage::Format_RGB32));
    }

    void printGivesOneLandscapePagePerCopy_data() {
        QTest::addColumn<int>("copies");  // 0: the print dialog is cancelled
        for (int copies : {0, 1, 3}) QTest::addRow("%d", copies) << copies;
    }
    void printGivesOneLandscapePagePerCopy() {
        QFETCH(int, copies);
        QTemporaryDir dir;
        ImageSurface surface;
        drawSomething(surface);
        ScriptedDialogs dialogs;
        dialogs.pdfPath = dir.filePath("out.pdf");
        dialogs.copies = copies;
        QCOMPARE(printPicture(*std::make_unique<QtPictureOutput>(dialogs, surface, nullptr)),
                 copies > 0);
        QVERIFY(dialogs.landscape);
        QFile pdf(dialogs.pdfPath);
        QCOMPARE(pdf.open(QIODevice::ReadOnly), copies > 0);
        const QString text = QString::fromLatin1(pdf.readAll());
        QCOMPARE(text.count(QRegularExpression(R"(/Type\s*/Page(?!s)\b)")), copies);
        const auto box =
            QRegularExpression(R"(/MediaBox\s*\[\s*0\s+0\s+([\d.]+)\s+([\d.]+))").match(text);
        QVERIFY(copies == 0 || box.captured(1).toDouble() > box.captured(2).toDouble());
    }

    // The window's picture printed as vectors, no image: rendered from the PDF, every pixel of
    // the trace, grid and label colours lies within a window pixel of its place.
    void printDrawsThePictureAsVectors() {
        SharedState state = test::defaultState();
        auto& s = state.settings;
        s.labelColor = rgbColour(200, 0, 200);
        ImageSurface window;
        window.resize(717, 582);
        kv::Display display(state, window);
        display.layoutLegend();
        for (int i = 0; i < s.numberOfPoints; ++i)
            state.trace[static_cast<std::size_t>(i)] = {
                .yOut = 1, .yIn = 1, .amplitudeDb = -100.0 + (i * 37) % 55};
        fitTraceToSize(state, window.scaleWidth(), window.scaleHeight());
        display.drawScreen(true);
        QTemporaryDir dir;
        ScriptedDialogs dialogs;
        dialogs.pdfPath = dir.filePath("page.pdf");
        dialogs.copies = 1;
        QVERIFY(printPicture(*std::make_unique<QtPictureOutput>(
            dialogs, window, [&](Surface& page) { drawPicture(state, page); })));
        QFile pdf(dialogs.pdfPath);
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QVERIFY(!QString::fromLatin1(pdf.readAll())
                     .contains(QRegularExpression(R"(/Subtype\s*/Image)")));
        QCOMPARE(
            QProcess::execute("pdftoppm", {"-r", "150", "-aa", "no", "-aaVector", "no", "-png",
                                           "-singlefile", dialogs.pdfPath, dir.filePath("page")}),
            0);
        const QImage page(dir.filePath("page.png"));
        QRect box;  // the picture: what is not white on the sheet
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x)
                if ((page.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF) box |= QRect(x, y, 1, 1);
        const QImage picture = window.windowPicture();
        const double scale = box.width() / double(picture.width());
        QVERIFY(scale > 1.5);
        const int reach = qCeil(scale) + 1;
        for (const Colour c : {s.graphColor, s.gridColor, s.labelColor}) {
            const QRgb colour = toQColor(c).rgb();
            int shown = 0, found = 0;
            for (int y = 0; y < picture.height(); ++y)
                for (int x = 0; x < picture.width(); ++x) {
                    if (picture.pixel(x, y) != colour) continue;
                    ++shown;
                    bool near = false;
                    for (int dy = -reach; dy <= reach && !near; ++dy)
                        for (int dx = -reach; dx <= reach && !near; ++dx) {
                            const QPoint at =
                                box.topLeft() + QPoint(qFloor((x + 0.5) * scale) + dx,
                                                       qFloor((y + 0.5) * scale) + dy);
                            near = page.valid(at) && page.pixel(at) == colour;
                        }
                    found += near;
                }
            QVERIFY2(
                shown > 500 && found > shown * 0.95,
                qPrintable(QString("colour %1: %2 of %3").arg(c, 6, 16).arg(found).arg(shown)));
        }
    }

    // The Qt colour chooser starts from the colour and answers in the program's colour order.
    void colourChooser() {
        QColor start;
        QTimer::singleShot(0, [&] {
            auto* chooser = qobject_cast<QColorDialog*>(QApplication::activeModalWidget());
            start = chooser->currentColor();
            chooser->setCurrentColor(QColor(0x11, 0x22, 0x33));
            chooser->accept();
        });
        QCOMPARE(QtCommonDialogs().showColor(rgbColour(0x80, 0x40, 0x00)), Colour(0x332211));
        QCOMPARE(start, QColor(0x80, 0x40, 0x00));
    }
};

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
