// SPDX-License-Identifier: GPL-3.0-or-later
// The dialogs as a user works them: the serial port dialog, the colour choice, the sweep
// settings, the focus keeper, the keys table; Print and Save of the window picture (the BMP
// file's pixels, the PDF's pages, the page's proportions).
#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QtEndian>
#include <csignal>

#include <sys/resource.h>

#include "app_doubles.h"
#include "colours_dialog.h"
#include "comport_dialog.h"
#include "default_state.h"
#include "display.h"
#include "fake_event_loop.h"
#include "fake_machine.h"
#include "fake_radio.h"
#include "focus_keeper.h"
#include "help_dialogs.h"
#include "image_surface.h"
#include "key_table.h"
#include "last_folder.h"
#include "page_surface.h"
#include "print_save.h"
#include "qt_colour.h"
#include "qt_common_dialogs.h"
#include "qt_picture_output.h"
#include "radio_session.h"
#include "spectrum_model.h"
#include "surface_view.h"
#include "sweep_dialog.h"

using namespace kv;
using test::ScriptedDialogs;

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
    test::FakeTimer replyTimer{loop, Radio::kReplyTimeoutMs};
    test::FakeTimer reopenTimer{loop, RadioSession::kReopenPeriodMs};
    struct : LinkReport {  // the dialog's opening reports nothing
        void eraseCommFailure(std::string_view) override {}
        void showCommFailure(std::string_view) override {}
    } report;
    MemorySettingsBackend store;
    test::FakeMachine machine;
    SharedState state;
    RadioSession session{state, comm, replyTimer, reopenTimer, loop, report};
    ScriptedDialogs dialogs;
    int redraws = 0;
    QWidget owner;
    QPointer<QDialog> dialog;
};

// The default window with a trace.
void drawWindow(SharedState& state, ImageSurface& window) {
    state = test::defaultState();
    window.resize(717, 582);
    kv::Display display(state, window);
    display.layoutLegend();
    for (int i = 0; i < state.settings.numberOfPoints; ++i)
        state.trace[std::size_t(i)] = {.yOut = 1, .yIn = 1, .amplitudeDb = -100.0 + (i * 37) % 55};
    fitTraceToSize(state, window.scaleWidth(), window.scaleHeight());
    display.drawScreen(true);
}

}  // namespace

class TestDialogs : public QObject {
    Q_OBJECT
  private slots:
    void portDialog_data() {
        QTest::addColumn<QStringList>("row");
        // stored port, baud | shown | chosen (- as shown) | in use | opened by OK (- none) |
        // a sweep run holds the radio in command mode
        const QString table = R"(0|-|0|11|-|-|0|115200,n,8,1|0
15|0|15|0|-|-|0|110,n,8,1|0
0|4.5|0|4|-|-|0|4800,n,8,1|0
0|-|0|11|2|5|0|9600,n,8,1|1
16|11|-1|11|-|-|0|-|0
-1|11|-1|11|-|-|0|-|0
0|12|0|-1|-|-|0|-|0
0|-1|0|-1|-|-|0|-|0
0|fast|0|-1|-|-|0|-|0
0|-|0|11|4|-|1|-|0)";
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
        const bool sweeping = row[8] == "1";
        rig.state.flags.stopRequested = !sweeping;
        test::FakeRadio radio;
        radio.commandMode = sweeping;
        rig.comm.responder = [&](std::string_view sent) { return radio.answer(sent); };
        auto* dialog =
            new ComPortDialog(rig.state, rig.session, rig.store, rig.machine, &rig.owner);
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
            QVERIFY(opened.isEmpty() && rig.store.writes.empty());
            QVERIFY(rig.child<QLabel>("Label2")->text().contains("either invalid or in use"));
            QCOMPARE(rig.state.settings.port, row[0].toInt());
            // An unusable choice leaves the old port alone; a port in use closes it first.
            QCOMPARE(rig.comm.portOpen(), row[6] == "0");
            QVERIFY(!rig.closedAndDeleted());
            return;
        }
        QCOMPARE(opened.count(), 1);
        QVERIFY(rig.comm.portOpen() && rig.comm.commPort() == port->currentIndex() + 1);
        QCOMPARE(QString::fromStdString(rig.comm.settings()), row[7]);
        // The radio of a sweep run leaves command mode on the old port, before the change.
        QCOMPARE(rig.comm.wire, std::string(sweeping ? "V\xCC"
                                                       "ATO\r"
                                                     : ""));
        QVERIFY(!radio.commandMode);
        QCOMPARE(rig.comm.handshakingWrites, std::vector<int>(sweeping ? 2 : 1, 0));
        QCOMPARE(rig.comm.rtsWrites, std::vector<bool>{false});
        QCOMPARE(rig.store.writes,
                 (decltype(rig.store.writes){{"Port", std::to_string(port->currentIndex())},
                                             {"Baud", std::to_string(baud->currentIndex())}}));
        QCOMPARE(rig.state.settings.port, port->currentIndex());
        QVERIFY(rig.closedAndDeleted());
    }

    // Above the buttons, why the port is not usable, following the device as it goes and comes
    // back; at the top, why the settings did not load.
    void portDialogReason_data() {
        QTest::addColumn<QString>("cause");
        for (const char* cause : {"gone", "missing", "settings"}) QTest::newRow(cause) << cause;
    }
    void portDialogReason() {
        QFETCH(QString, cause);
        Rig rig;
        QTemporaryDir dir;
        const QString device = dir.filePath("ttyUSB0");
        rig.comm.device = device.toStdString();
        rig.comm.lost = cause == "gone";
        if (cause == "missing")
            rig.comm.problem = describeOpenFailure(OpenFailure::Missing, device.toStdString());
        rig.store.values[{"Settings", "Span"}] = "wide";
        auto* dialog =
            new ComPortDialog(rig.state, rig.session, rig.store, rig.machine, &rig.owner);
        rig.dialog = dialog;
        dialog->showSettingsProblem(
            cause == "settings" ? loadSettings(rig.store, rig.state).problem("/home/u/kv.ini")
                                : "");
        dialog->show();
        auto* reason = rig.child<QLabel>("PortProblemReason");
        auto* notice = rig.child<QLabel>("SettingsProblem");
        const QString shown = cause == "gone"      ? "Radio disconnected: " + device + " is gone"
                              : cause == "missing" ? device + " is missing"
                                                   : "";
        QCOMPARE(reason->isVisible(), !shown.isEmpty());
        QVERIFY(reason->isHidden() || reason->text().startsWith(shown));
        QCOMPARE(notice->isVisible(), cause == "settings");
        QVERIFY(notice->text()
                    .remove(QChar(0x200B))
                    .contains(cause == "settings"
                                  ? "/home/u/kv.ini could not be read: \"Span\" holds \"wide\""
                                  : ""));
        // Nothing is cut off, and the reason stands between the port list and the buttons.
        for (QLabel* label : {reason, notice})
            QVERIFY(label->isHidden() || label->height() >= label->heightForWidth(label->width()));
        QVERIFY(
            reason->isHidden() ||
            (reason->y() > rig.child<QComboBox>("Settings_Baud_Box")->mapTo(dialog, QPoint()).y() &&
             reason->geometry().bottom() < rig.child("Command2")->y()));
        QVERIFY(rig.child("Command2")->geometry().bottom() < dialog->height());
        // The device comes back: the reason follows it.
        if (cause == "gone") rig.comm.lost = false, rig.comm.setPortOpen(true);
        QFile back(device);
        QVERIFY(back.open(QIODevice::WriteOnly));
        if (cause == "gone")
            QTRY_VERIFY(reason->isHidden() &&
                        rig.child<QLabel>("Label2")->text() == ComPortDialog::kReadyMessage.data());
        if (cause == "missing")
            QTRY_VERIFY(reason->text() == device + " is there again: OK opens it.");
    }

    void colourChoice_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("answer");  // -1: the chooser is cancelled
        // Row 7: the limit's colour, which its owner keeps.
        for (int row = 0; row < 8; ++row) QTest::addRow("row %d", row) << row << 0x123456;
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
        Colour limit = 0x00FFFF;
        const auto open = [&] {
            rig.dialog = new ColoursDialog(
                rig.state, rig.store, rig.dialogs, [&] { ++rig.redraws; }, &rig.owner,
                ColoursDialog::OwnColour{"Limit Color", [&] { return limit; },
                                         [&](Colour c) { limit = c; }});
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
        const bool stored = changes && row < 7;
        QVERIFY(rig.redraws == int(stored) && rig.store.writes.size() == (stored ? 7u : 0u));
        QCOMPARE(limit, row == 7 ? now : Colour(0x00FFFF));
        // What was stored loads as the dialog shows it, also after reopening.
        SharedState reloaded;
        QVERIFY(loadSettings(rig.store, reloaded).ok);
        QCOMPARE(reloaded.settings.labelColor, row == 3 && changes ? now : Colour(0x80000005));
        rig.dialog->close();
        QVERIFY(rig.closedAndDeleted());
        open();
        for (int i = 0; i < 8; ++i) QVERIFY((i == row) == (rig.face(i) == now));
    }

    // OK with one field changed: a value the store reads and the range allows is stored with
    // the other five, in the store's form, and handed on in that form; any other is refused
    // beside its field, nothing stored or handed on. Cancel changes nothing.
    void sweepDialog_data() {
        QTest::addColumn<QString>("typed");   // field=text; none: Cancel
        QTest::addColumn<QString>("stored");  // its stored text; none: refused
        QTest::addColumn<QString>("plan");    // what the channel plan shows as it is typed
        for (const char* row :
             {"Number of Points=256|256|channel 255: 927.899 MHz, spacing 0.101 MHz",
              "Number of Points=257||are valid",
              "Number of Points=0.5|",
              "Number of Points=1.5|",
              "Number of Gradiants=50|50",
              "Number of Gradiants=0|",
              "Span=0||are valid",
              "Span=-26|",
              "Span=0.001|0.001",
              "Center Frequency= 2441.50 |2441.5",
              "Center Frequency=902,5|902.5|Channel 0: 890.010 MHz, channel 49: 914.990 MHz",
              "Number of Points=50,5|",
              "Amplitude=1e39|",
              "Amplitude=-1e-3|-0.001",
              "Amplitude=-91|",
              "Amplitude=20|20",
              "Attenuator=30|30",
              "Attenuator=-1|",
              "Attenuator=ten|",
              "|"})
            QTest::newRow(row) << QString(row).section('|', 0, 0) << QString(row).section('|', 1, 1)
                               << QString(row).section('|', 2);
    }
    void sweepDialog() {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QFETCH(QString, plan);
        Rig rig;
        std::vector<SettingsChange> handed;
        rig.dialog = new SweepDialog(
            rig.state.settings, rig.store, [&](SettingsChange c) { handed.push_back(c); },
            &rig.owner);
        rig.dialog->show();
        const std::string field = typed.section('=', 0, 0).toStdString();
        if (!typed.isEmpty())
            rig.child<QLineEdit>(QString::fromStdString(field))->setText(typed.section('=', 1));
        QVERIFY2(rig.child<QLabel>("Channel plan")->text().contains(plan),
                 qPrintable(rig.child<QLabel>("Channel plan")->text()));
        rig.dialog->layout()->activate();
        const QSize before = rig.dialog->size();
        rig.child(typed.isEmpty() ? "Cancel" : "OK")->click();
        QCOMPARE(handed.size(), std::size_t(stored.isEmpty() ? 0 : 1));
        rig.dialog->layout()->activate();
        QCOMPARE(rig.dialog->size(), before);  // a reason takes room kept for it
        if (!handed.empty()) handed[0](rig.state.settings);
        std::vector<std::pair<std::string, std::string>> written;
        for (const SettingKey& key : kSettingKeys) {
            const QString name = QString::fromUtf8(key.name.data(), qsizetype(key.name.size()));
            if (auto* reason = rig.child<QLabel>(name + " refused"))
                QCOMPARE(reason->text().isEmpty(), key.name != field || !stored.isEmpty());
            if (!writes(key.writers, SettingWriter::SweepDialog) || stored.isEmpty()) continue;
            written.emplace_back(
                key.name, key.name == field ? stored.toStdString() : std::string(key.defaultText));
            QCOMPARE(settingText(key, rig.state.settings), written.back().second);  // as applied
        }
        QCOMPARE(rig.store.writes, written);
        QCOMPARE(rig.closedAndDeleted(), typed.isEmpty() || !stored.isEmpty());
    }

    // A kept dialog takes the focus back from the main window, not from a modal or kept one.
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
        QTest::addColumn<QString>("typed");    // - : cancelled
        QTest::addColumn<QString>("written");  // - : nothing written; full: the disk is full
        for (const char* row : {"old.bmp|old.bmp", "trace|trace.bmp", "trace.png|trace.png",
                                "run.1/trace|run.1/trace.bmp", "missing/trace.bmp|-", "run.1|-",
                                "-|-", "old.bmp|full"})
            QTest::newRow(row) << QString(row).section('|', 0, 0) << QString(row).section('|', 1);
    }
    void save() {
        QFETCH(QString, typed);
        QFETCH(QString, written);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("run.1"));
        QFile old(dir.filePath("old.bmp"));
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write(QByteArray(4000000, 'x')) > 0);
        old.close();
        SharedState state;
        ImageSurface surface;
        drawWindow(state, surface);
        ScriptedDialogs dialogs;
        if (typed != "-") dialogs.savePath = dir.filePath(typed).toStdString();
        const bool full = written == "full";
        // Room for a few blocks only, as on a disk that is nearly full; the write fails, not
        // the process.
        const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY}, fewBlocks{65536, RLIM_INFINITY};
        std::signal(SIGXFSZ, SIG_IGN);
        if (full) QCOMPARE(setrlimit(RLIMIT_FSIZE, &fewBlocks), 0);
        auto outcome = OutputOutcome::failure("not answered");
        LastFolder folder(dialogs, "/last");
        savePicture(std::make_shared<QtPictureOutput>(folder, surface, nullptr),
                    [&](const OutputOutcome& o) { outcome = o; });
        // Suggested with the time in the folder last chosen, which is now the one chosen.
        QCOMPARE(dialogs.suggested.at(0).folder, std::string("/last"));
        QVERIFY(QRegularExpression("^picture-\\d{4}-\\d\\d-\\d\\d-\\d{6}\\.bmp$")
                    .match(QString::fromStdString(dialogs.suggested[0].suggestedName))
                    .hasMatch());
        QCOMPARE(QString::fromStdString(folder.folder()),
                 typed == "-" ? "/last" : QFileInfo(dir.filePath(typed)).path());
        if (full) QCOMPARE(setrlimit(RLIMIT_FSIZE, &unlimited), 0);
        QCOMPARE(outcome.cancelled, typed == "-");
        QCOMPARE(outcome.done(), written != "-" && !full);
        // A failure names the file.
        if (!outcome.done() && !outcome.cancelled)
            QVERIFY2(outcome.problem.starts_with(dir.filePath(typed).toStdString()),
                     outcome.problem.c_str());
        const QStringList files = QDir(dir.path()).entryList(QDir::Files) +
                                  QDir(dir.filePath("run.1")).entryList(QDir::Files);
        QCOMPARE(files.size(), written == "-" || written == "old.bmp" || full ? 1 : 2);
        // The picture that was there is untouched by a failed write.
        if (full) QCOMPARE(QFileInfo(dir.filePath("old.bmp")).size(), 4000000);
        if (written == "-" || full) return;
        QFile file(dir.filePath(written));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.startsWith("BM"));
        QCOMPARE(qsizetype(qFromLittleEndian<quint32>(bytes.constData() + 2)), bytes.size());
        QCOMPARE(QImage::fromData(bytes, "BMP").convertToFormat(QImage::Format_RGB32),
                 surface.windowPicture().convertToFormat(QImage::Format_RGB32));
    }

    // One landscape page a copy, the picture drawn as vectors (no image).
    void print() {
        SharedState state;
        ImageSurface window;
        drawWindow(state, window);
        QTemporaryDir dir;
        ScriptedDialogs dialogs;
        dialogs.pdfPath = dir.filePath("page.pdf");
        dialogs.copies = 2;
        auto outcome = OutputOutcome::cancel();
        printPicture(std::make_shared<QtPictureOutput>(
                         dialogs, window, [&](Surface& page) { drawPicture(state, page); }),
                     [&](const OutputOutcome& o) { outcome = o; });
        QVERIFY(outcome.done());
        QFile pdf(dialogs.pdfPath);
        QVERIFY(dialogs.landscape && pdf.open(QIODevice::ReadOnly));
        const QString text = QString::fromLatin1(pdf.readAll());
        QCOMPARE(text.count(QRegularExpression(R"(/Type\s*/Page(?!s)\b)")), 2);
        QVERIFY(!text.contains(QRegularExpression(R"(/Subtype\s*/Image)")));
        QCOMPARE(
            QProcess::execute("pdftoppm", {"-r", "150", "-aa", "no", "-aaVector", "no", "-png",
                                           "-singlefile", dialogs.pdfPath, dir.filePath("page")}),
            0);
        const QImage page(dir.filePath("page.png"));
        QVERIFY(page.width() > page.height());
        int drawn = 0;  // the trace, at 150 DPI longer than in the window
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x)
                drawn += page.pixel(x, y) == toQColor(state.settings.graphColor).rgb();
        QVERIFY2(drawn > 1000, qPrintable(QString::number(drawn)));
    }
    // On a page three times the window's size the labels keep their size against the picture,
    // a box reaches as far as a line along its edge, and text takes the colour asked for
    // whatever the last line's.
    void pageKeepsTheWindowsProportions() {
        ImageSurface window;
        window.resize(717, 582);
        QImage image(3 * 717, 3 * 582, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        PageSurface page(painter, QRectF(image.rect()), window.scaleWidth(), window.scaleHeight(),
                         Qt::white, window.twipsPerLogicalPixel());
        const std::string label = "Center Frequency (MHz): 2441.5";
        QVERIFY(qAbs(page.textWidth(label) / window.textWidth(label) - 1) < 0.1);
        // A box, a line across its width and one down its height (beside it), a label.
        const std::array<Colour, 4> colours = {rgbColour(255, 0, 0), rgbColour(0, 0, 255),
                                               rgbColour(255, 0, 255), rgbColour(0, 128, 0)};
        page.filledBox(1500, 1500, 3000, 3000, colours[0]);
        page.line(1500, 4500, 3000, 4500, colours[1]);
        page.line(4500, 1500, 4500, 3000, colours[2]);
        page.setForeColor(colours[3]);
        page.setCurrentX(6000);
        page.setCurrentY(1500);
        page.print("Marker");
        painter.end();
        std::array<QRect, 4> drawn;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                for (std::size_t k = 0; k < colours.size(); ++k)
                    if (image.pixelColor(x, y) == toQColor(colours[k])) drawn[k] |= {x, y, 1, 1};
        const auto& [box, across, down, text] = drawn;
        QCOMPARE(std::pair(box.left(), box.right()), std::pair(across.left(), across.right()));
        QCOMPARE(std::pair(box.top(), box.bottom()), std::pair(down.top(), down.bottom()));
        QVERIFY(text.left() >= 1200 && text.width() > 50);
    }

    // The keys table cannot be typed into.
    void keysTable() {
        QWidget owner;
        QDialog* dialog = makeKeysDialog(&owner);
        dialog->show();
        auto* table = dialog->findChild<QTableWidget*>("Help_Keys_Table");
        QCOMPARE(table->rowCount(), int(kKeyUses.size()));
        table->setCurrentCell(0, 1);
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, {},
                           table->visualItemRect(table->item(0, 1)).center());
        QTest::keyClick(table, Qt::Key_F2);
        QVERIFY(!table->findChild<QLineEdit*>());
    }

    // The window shows the retained picture after drawing and after a clear, down to the last
    // row of a height that ends one row into a tile.
    void windowShowsThePicture() {
        ImageSurface surface;
        SurfaceView view(surface);
        view.resize(717, 18 * SurfaceView::kTileSize + 1);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        SharedState state = test::defaultState();
        kv::Display display(state, surface);
        display.layoutLegend();
        for (int i = 0; i < state.settings.numberOfPoints; ++i)
            state.trace[std::size_t(i)] = {.yOut = 1, .yIn = 1, .amplitudeDb = -60.0 - i % 40};
        fitTraceToSize(state, surface.scaleWidth(), surface.scaleHeight());
        const auto shown = [&] {
            view.flush();
            QCoreApplication::processEvents();
            return view.screen()
                ->grabWindow(view.winId())
                .toImage()
                .convertToFormat(QImage::Format_RGB32);
        };
        display.drawScreen(true);
        QCOMPARE(shown(), surface.windowPicture());
        surface.clear();
        QCOMPARE(shown(), surface.windowPicture());
    }

    // A new pixel density starts a clean picture at that density, drawn in the colours asked
    // for; the same density again changes nothing.
    void pixelDensity() {
        const Colour red = rgbColour(255, 0, 0);
        ImageSurface surface, clean(96, 2);
        surface.resize(100, 60);
        surface.line(0, 0, 1500, 900, red);
        QVERIFY(surface.setDevicePixelRatio(2));
        QVERIFY(!surface.setDevicePixelRatio(2));
        clean.resize(100, 60);
        clean.clear();
        QCOMPARE(surface.windowPicture(), clean.windowPicture());
        surface.line(0, 600, 1500, 600, red);  // logical row 40
        QCOMPARE(surface.windowPicture().pixel(100, 80), toQColor(red).rgb());
    }
    // The system's dialogs as the program sets them up, each cancelled: nothing is chosen.
    void systemDialogs() {
        QtCommonDialogs dialogs;
        QStringList seen;
        const auto cancelTheDialog = [&] {
            QTimer::singleShot(0, [&] {
                QWidget* shown = QApplication::activeModalWidget();
                if (auto* f = qobject_cast<QFileDialog*>(shown))
                    seen << QString("save %1 %2 %3 %4")
                                .arg(f->acceptMode() == QFileDialog::AcceptSave)
                                .arg(f->fileMode() == QFileDialog::AnyFile)
                                .arg(f->defaultSuffix(), f->nameFilters().join(';'));
                if (auto* p = qobject_cast<QPrintDialog*>(shown))
                    seen << QString("print %1")
                                .arg(p->options() == (QAbstractPrintDialog::PrintToFile |
                                                      QAbstractPrintDialog::PrintShowPageSize));
                if (qobject_cast<QColorDialog*>(shown)) seen << "colour";
                if (auto* d = qobject_cast<QDialog*>(shown)) d->reject();
            });
        };
        // Each answers later, from the event loop, as cancelled.
        int answered = 0;
        cancelTheDialog();
        dialogs.showSave({}, [&](auto path) { answered += !path; });
        QCOMPARE(answered, 0);
        QTRY_COMPARE(answered, 1);
        cancelTheDialog();
        QPrinter printer;
        dialogs.showPrinter(printer, [&](bool accepted) { answered += !accepted; });
        QTRY_COMPARE(answered, 2);
        cancelTheDialog();
        dialogs.showColor(rgbColour(1, 2, 3), [&](auto colour) { answered += !colour; });
        QTRY_COMPARE(answered, 3);
        QCOMPARE(seen, (QStringList{"save 1 1 bmp BMP pictures (*.bmp)", "print 1", "colour"}));
    }
};

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
