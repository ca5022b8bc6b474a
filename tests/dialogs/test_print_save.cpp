// Print and Save on the window picture: the BMP file's pixels, the name it is given, the PDF
// pages printed, and the Qt dialogs the commands open.
#include <QApplication>
#include <QColorDialog>
#include <QFile>
#include <QFileDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QtEndian>

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
        landscape = printer.pageLayout().orientation() == QPageLayout::Landscape;
        if (!pdfPath) return false;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(*pdfPath);
        printer.setCopyCount(copies);
        return true;
    }
    std::optional<std::string> showSave(const SaveOptions&) override { return savePath; }

    std::optional<QString> pdfPath;  // nothing: the print dialog is cancelled
    int copies = 1;
    bool landscape = false;
    std::optional<std::string> savePath;  // nothing: the save dialog is cancelled
};

// A picture with distinct pixels to compare.
void drawSomething(ImageSurface& surface) {
    surface.resize(160, 90);
    surface.clear();
    surface.filledBox(150, 150, 1200, 900, rgbColour(0, 0, 0));
    surface.line(150, 150, 1200, 900, rgbColour(0, 255, 0));
    surface.filledBox(1500, 300, 2200, 1200, rgbColour(0x12, 0x34, 0x56));
}

// Answers the next modal dialog once it is shown.
template <typename Dialog>
void answer(std::function<void(Dialog&)> how) {
    QTimer::singleShot(0, [how] {
        if (auto* d = qobject_cast<Dialog*>(QApplication::activeModalWidget())) how(*d);
    });
}

}  // namespace

class TestPrintSave : public QObject {
    Q_OBJECT
  private slots:
    void save_data() {
        QTest::addColumn<QString>("typed");    // null: cancelled
        QTest::addColumn<QString>("written");  // null: nothing written
        QTest::newRow("replaces a file") << "old.bmp"
                                         << "old.bmp";
        QTest::newRow("no extension") << "trace"
                                      << "trace.bmp";
        QTest::newRow("other extension") << "trace.png"
                                         << "trace.png";
        QTest::newRow("dot in folder only") << "run.1/trace"
                                            << "run.1/trace.bmp";
        QTest::newRow("missing folder") << "missing/trace.bmp" << QString();
        QTest::newRow("a folder") << "run.1" << QString();
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
        QtPictureOutput output(dialogs, surface);
        QCOMPARE(savePicture(output), !written.isNull());
        QStringList files = QDir(dir.path()).entryList(QDir::Files) +
                            QDir(dir.filePath("run.1")).entryList(QDir::Files);
        QCOMPARE(files.size(), written.isNull() || written == "old.bmp" ? 1 : 2);
        if (written.isNull()) return;
        QFile file(dir.filePath(written));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.startsWith("BM"));
        QCOMPARE(qsizetype(qFromLittleEndian<quint32>(bytes.constData() + 2)), bytes.size());
        QImage saved;
        QVERIFY(saved.loadFromData(bytes, "BMP"));
        QCOMPARE(saved.convertToFormat(QImage::Format_RGB32),
                 surface.windowPicture().convertToFormat(QImage::Format_RGB32));
    }

    void printGivesOneLandscapePagePerCopy_data() {
        QTest::addColumn<int>("copies");  // 0: the print dialog is cancelled
        QTest::newRow("cancelled") << 0;
        QTest::newRow("one") << 1;
        QTest::newRow("three") << 3;
    }
    void printGivesOneLandscapePagePerCopy() {
        QFETCH(int, copies);
        QTemporaryDir dir;
        ImageSurface surface;
        drawSomething(surface);
        ScriptedDialogs dialogs;
        if (copies > 0) dialogs.pdfPath = dir.filePath("out.pdf");
        dialogs.copies = copies;
        {
            QtPictureOutput output(dialogs, surface);
            QCOMPARE(printPicture(output), copies > 0);
        }
        QVERIFY(dialogs.landscape);
        QFile pdf(dir.filePath("out.pdf"));
        QCOMPARE(pdf.open(QIODevice::ReadOnly), copies > 0);
        const QString text = QString::fromLatin1(pdf.readAll());
        QCOMPARE(text.count(QRegularExpression(R"(/Type\s*/Page(?!s)\b)")), copies);
        QCOMPARE(text.contains(QRegularExpression(R"(/Subtype\s*/Image)")), copies > 0);
        const auto box =
            QRegularExpression(R"(/MediaBox\s*\[\s*0\s+0\s+([\d.]+)\s+([\d.]+))").match(text);
        if (copies > 0) QVERIFY(box.captured(1).toDouble() > box.captured(2).toDouble());
    }

    void saveDialogConfirmsOverwriteAndAddsTheExtension() {
        QTemporaryDir dir;
        answer<QFileDialog>([&](QFileDialog& fd) {
            if (fd.acceptMode() != QFileDialog::AcceptSave ||
                fd.testOption(QFileDialog::DontConfirmOverwrite))
                return fd.reject();
            fd.selectFile(dir.filePath("trace"));
            static_cast<QDialog&>(fd).accept();
        });
        QCOMPARE(QtCommonDialogs().showSave({}), dir.filePath("trace.bmp").toStdString());
    }

    // The chooser starts from the colour and answers in the program's colour order.
    void colourChooser_data() {
        QTest::addColumn<bool>("accept");
        QTest::newRow("accepted") << true;
        QTest::newRow("cancelled") << false;
    }
    void colourChooser() {
        QFETCH(bool, accept);
        QColor start;
        answer<QColorDialog>([&](QColorDialog& cd) {
            start = cd.currentColor();
            cd.setCurrentColor(QColor(0x11, 0x22, 0x33));
            accept ? cd.accept() : cd.reject();
        });
        const auto chosen = QtCommonDialogs().showColor(rgbColour(0x80, 0x40, 0x00));
        QCOMPARE(start, QColor(0x80, 0x40, 0x00));
        QCOMPARE(chosen, accept ? std::optional<Colour>(0x332211) : std::nullopt);
    }
};

QTEST_MAIN(TestPrintSave)
#include "test_print_save.moc"
