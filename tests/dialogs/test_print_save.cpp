#include <QApplication>
#include <QColorDialog>
#include <QFile>
#include <QFileDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QtEndian>
#include <optional>

#include "image_surface.h"
#include "print_save.h"
#include "qt_common_dialogs.h"
#include "qt_picture_output.h"

using namespace kv;

namespace {

// Print and save dialogs that answer as a user would, printing to a PDF file.
class ScriptedDialogs : public CommonDialogs {
  public:
    std::optional<Colour> showColor(Colour) override { return std::nullopt; }
    bool showPrinter(QPrinter& printer) override {
        ++printerShown;
        landscapeBefore = printer.pageLayout().orientation() == QPageLayout::Landscape;
        allPagesBefore = printer.printRange() == QPrinter::AllPages;
        if (!pdfPath) return false;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(*pdfPath);
        printer.setCopyCount(copies);
        return true;
    }
    std::optional<std::string> showSave(const SaveOptions& options) override {
        lastOptions = options;
        return savePath;
    }

    std::optional<QString> pdfPath;  // nothing: the print dialog is cancelled
    int copies = 1;
    int printerShown = 0;
    bool landscapeBefore = false;
    bool allPagesBefore = false;
    std::optional<std::string> savePath;  // nothing: the save dialog is cancelled
    std::optional<SaveOptions> lastOptions;
};

// A picture with distinct pixels to compare.
void drawSomething(ImageSurface& surface) {
    surface.resize(160, 90);
    surface.clear();
    surface.filledBox(150, 150, 1200, 900, rgbColour(0, 0, 0));
    surface.line(150, 150, 1200, 900, rgbColour(0, 255, 0));
    surface.filledBox(1500, 300, 2200, 1200, rgbColour(0x12, 0x34, 0x56));
}

struct PdfPages {
    int count = 0;
    int images = 0;
    QSizeF firstMediaBox;
};

PdfPages readPdf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QString text = QString::fromLatin1(file.readAll());
    PdfPages pages;
    pages.count = static_cast<int>(text.count(QRegularExpression(R"(/Type\s*/Page(?!s)\b)")));
    pages.images = static_cast<int>(text.count(QRegularExpression(R"(/Subtype\s*/Image)")));
    const auto box =
        QRegularExpression(R"(/MediaBox\s*\[\s*([-\d.]+)\s+([-\d.]+)\s+([-\d.]+)\s+([-\d.]+))")
            .match(text);
    if (box.hasMatch())
        pages.firstMediaBox = QSizeF(box.captured(3).toDouble() - box.captured(1).toDouble(),
                                     box.captured(4).toDouble() - box.captured(2).toDouble());
    return pages;
}

// A picture output that records the calls and fails where told.
class RecordingOutput : public PictureOutput {
  public:
    std::optional<int> chooseCopies() override { return copies; }
    bool printPage() override { return ++pages != failAtPage; }
    bool finish() override {
        ++finishes;
        return true;
    }
    std::optional<std::string> chooseSavePath() override { return savePath; }
    bool writePicture(const std::string& path) override {
        written.push_back(path);
        return true;
    }

    std::optional<int> copies;
    int failAtPage = 0;
    int pages = 0;
    int finishes = 0;
    std::optional<std::string> savePath;
    std::vector<std::string> written;
};

}  // namespace

class TestPrintSave : public QObject {
    Q_OBJECT
  private slots:
    void saveWritesTheWindowPicture() {
        QTemporaryDir dir;
        ImageSurface surface;
        drawSomething(surface);
        ScriptedDialogs dialogs;
        const QString path = dir.filePath("picture.bmp");
        dialogs.savePath = path.toStdString();
        {
            QFile old(path);  // an existing file is replaced
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write(QByteArray(100000, 'x'));
        }
        QtPictureOutput output(dialogs, surface);
        QVERIFY(savePicture(output));

        QCOMPARE(dialogs.lastOptions->defaultSuffix, std::string("bmp"));
        QCOMPARE(dialogs.lastOptions->filter, std::string("Bmp Files (*.bmp)"));
        QVERIFY(dialogs.lastOptions->initialName.empty());
        QVERIFY(dialogs.lastOptions->confirmOverwrite);

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.startsWith("BM"));
        const auto declaredSize = qFromLittleEndian<quint32>(bytes.constData() + 2);
        QCOMPARE(qsizetype(declaredSize), bytes.size());

        QImage saved;
        QVERIFY(saved.loadFromData(bytes, "BMP"));
        const QImage expected = surface.windowPicture().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(saved.size(), QSize(160, 90));
        QCOMPARE(saved.convertToFormat(QImage::Format_RGB32), expected);
    }

    void defaultExtension_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("result");
        QTest::newRow("no extension") << "/tmp/trace"
                                      << "/tmp/trace.bmp";
        QTest::newRow("bmp") << "/tmp/trace.bmp"
                             << "/tmp/trace.bmp";
        QTest::newRow("other extension") << "/tmp/trace.png"
                                         << "/tmp/trace.png";
        QTest::newRow("dot in folder only") << "/tmp/run.1/trace"
                                            << "/tmp/run.1/trace.bmp";
        QTest::newRow("bare name") << "trace"
                                   << "trace.bmp";
    }
    void defaultExtension() {
        QFETCH(QString, path);
        QFETCH(QString, result);
        QCOMPARE(QString::fromStdString(withDefaultExtension(path.toStdString(), "bmp")), result);
    }

    void saveAddsTheExtension() {
        QTemporaryDir dir;
        ImageSurface surface;
        drawSomething(surface);
        ScriptedDialogs dialogs;
        dialogs.savePath = dir.filePath("trace").toStdString();
        QtPictureOutput output(dialogs, surface);
        QVERIFY(savePicture(output));
        QVERIFY(QFile::exists(dir.filePath("trace.bmp")));
        QVERIFY(!QFile::exists(dir.filePath("trace")));
    }

    void saveCancelledWritesNothing() {
        QTemporaryDir dir;
        ImageSurface surface;
        drawSomething(surface);
        ScriptedDialogs dialogs;
        QtPictureOutput output(dialogs, surface);
        QVERIFY(!savePicture(output));
        QVERIFY(QDir(dir.path()).isEmpty());
    }

    void saveToAnUnwritablePlaceFailsSilently_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing folder") << "missing/trace.bmp";
        QTest::newRow("a folder") << "folder.bmp";
    }
    void saveToAnUnwritablePlaceFailsSilently() {
        QFETCH(QString, name);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("folder.bmp"));
        ImageSurface surface;
        drawSomething(surface);
        ScriptedDialogs dialogs;
        dialogs.savePath = dir.filePath(name).toStdString();
        QtPictureOutput output(dialogs, surface);
        QVERIFY(!savePicture(output));
        QVERIFY(!QFile::exists(dir.filePath("missing")));
    }

    void printGivesOnePagePerCopy_data() {
        QTest::addColumn<int>("copies");
        QTest::newRow("one") << 1;
        QTest::newRow("three") << 3;
    }
    void printGivesOnePagePerCopy() {
        QFETCH(int, copies);
        QTemporaryDir dir;
        ImageSurface surface;
        drawSomething(surface);
        ScriptedDialogs dialogs;
        dialogs.pdfPath = dir.filePath("out.pdf");
        dialogs.copies = copies;
        {
            QtPictureOutput output(dialogs, surface);
            QVERIFY(printPicture(output));
        }
        QVERIFY(dialogs.landscapeBefore);
        QVERIFY(dialogs.allPagesBefore);
        const PdfPages pages = readPdf(*dialogs.pdfPath);
        QCOMPARE(pages.count, copies);
        QVERIFY2(pages.firstMediaBox.width() > pages.firstMediaBox.height(), "landscape page");
        QVERIFY(pages.images >= 1);
    }

    void printCancelledPrintsNothing() {
        QTemporaryDir dir;
        ImageSurface surface;
        drawSomething(surface);
        ScriptedDialogs dialogs;
        {
            QtPictureOutput output(dialogs, surface);
            QVERIFY(!printPicture(output));
        }
        QCOMPARE(dialogs.printerShown, 1);
        QVERIFY(QDir(dir.path()).isEmpty());
    }

    void printStopsAtTheFirstFailingPage() {
        RecordingOutput output;
        output.copies = 3;
        output.failAtPage = 2;
        QVERIFY(!printPicture(output));
        QCOMPARE(output.pages, 2);
        QCOMPARE(output.finishes, 1);  // the page already printed still goes out
    }

    void printWithoutCopiesPrintsNothing() {
        RecordingOutput cancelled;
        QVERIFY(!printPicture(cancelled));
        QCOMPARE(cancelled.pages, 0);
        QCOMPARE(cancelled.finishes, 0);
    }

    // The Qt dialogs are set up as the commands need them.
    void saveDialogSetup() {
        QTemporaryDir dir;
        QtCommonDialogs dialogs;
        std::optional<std::string> chosen;
        bool checked = false;
        QTimer::singleShot(0, [&] {
            auto* fd = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(fd);
            QCOMPARE(fd->acceptMode(), QFileDialog::AcceptSave);
            QCOMPARE(fd->defaultSuffix(), "bmp");
            QCOMPARE(fd->nameFilters(), QStringList{"Bmp Files (*.bmp)"});
            QVERIFY(!fd->testOption(QFileDialog::DontConfirmOverwrite));
            fd->selectFile(dir.filePath("trace"));
            checked = true;
            static_cast<QDialog*>(fd)->accept();
        });
        chosen = dialogs.showSave({});
        QVERIFY(checked);
        QCOMPARE(chosen, dir.filePath("trace.bmp").toStdString());
    }

    void printDialogOffersNoPageRange() {
        QtCommonDialogs dialogs;
        QPrinter printer;
        bool checked = false;
        QTimer::singleShot(0, [&] {
            auto* pd = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
            QVERIFY(pd);
            QVERIFY(!pd->testOption(QAbstractPrintDialog::PrintPageRange));
            QVERIFY(!pd->testOption(QAbstractPrintDialog::PrintCurrentPage));
            QVERIFY(!pd->testOption(QAbstractPrintDialog::PrintSelection));
            QCOMPARE(pd->printer(), &printer);
            checked = true;
            pd->reject();
        });
        QVERIFY(!dialogs.showPrinter(printer));
        QVERIFY(checked);
    }

    void saveDialogCancel() {
        QtCommonDialogs dialogs;
        QTimer::singleShot(0, [] {
            if (QWidget* w = QApplication::activeModalWidget()) qobject_cast<QDialog*>(w)->reject();
        });
        QCOMPARE(dialogs.showSave({}), std::nullopt);
    }

    void colourChooserStartsFromTheColour_data() {
        QTest::addColumn<bool>("accept");
        QTest::newRow("accepted") << true;
        QTest::newRow("cancelled") << false;
    }
    void colourChooserStartsFromTheColour() {
        QFETCH(bool, accept);
        QtCommonDialogs dialogs;
        QColor start;
        QTimer::singleShot(0, [&] {
            auto* cd = qobject_cast<QColorDialog*>(QApplication::activeModalWidget());
            QVERIFY(cd);
            start = cd->currentColor();
            cd->setCurrentColor(QColor(0x11, 0x22, 0x33));
            if (accept)
                cd->accept();
            else
                cd->reject();
        });
        const auto chosen = dialogs.showColor(rgbColour(0x80, 0x40, 0x00) /* 0x004080 */);
        QCOMPARE(start, QColor(0x80, 0x40, 0x00));
        if (accept)
            QCOMPARE(chosen, std::optional<Colour>(0x332211));
        else
            QCOMPARE(chosen, std::nullopt);
    }
};

QTEST_MAIN(TestPrintSave)
#include "test_print_save.moc"
