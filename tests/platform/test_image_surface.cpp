#include <QtTest>
#include <set>

#include "image_surface.h"

namespace {

constexpr kv::Colour kPlot = kv::rgbColour(0, 0, 0);
constexpr kv::Colour kTrace = kv::rgbColour(255, 255, 0);

int countPixels(const QImage& image, kv::Colour colour) {
    const QRgb wanted = kv::ImageSurface::toQColor(colour).rgb();
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        n += static_cast<int>(std::count(row, row + image.width(), wanted));
    }
    return n;
}

std::set<QRgb> coloursIn(const QImage& image) {
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        colours.insert(row, row + image.width());
    }
    return colours;
}

// The smallest rectangle holding every pixel of the colour.
QRect inkOf(const QImage& image, kv::Colour colour) {
    const QRgb wanted = kv::ImageSurface::toQColor(colour).rgb();
    QRect ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == wanted) ink |= QRect(x, y, 1, 1);
    return ink;
}

// The window at its normal size with the plot area's background over all of it.
struct Window {
    explicit Window(double dpr) : surface(96, dpr) {
        surface.resize(717, 582);
        surface.filledBox(0, 0, 10755, 8730, kPlot);
    }
    kv::ImageSurface surface;
};

struct Font {
    const char* name;
    double points;
    bool bold;
};

const std::array kFonts{Font{"MS Sans Serif", 8, false}, Font{"Arial", 10, true},
                        Font{"Courier New", 9, false}, Font{"Times New Roman", 14, false}};

void drawLinesAndTexts(kv::ImageSurface& s, kv::Colour colour) {
    s.line(100.4, 200.6, 9000.2, 7000.9, colour);  // shallow diagonal
    s.line(5000.5, 100, 5200.5, 8000.3, colour);   // steep
    s.line(8000, 500.5, 300.2, 600.7, colour);     // right to left
    s.line(1000, 4007.5, 9000, 4007.5, colour);    // horizontal on a half pixel
    s.line(7.5, 0, 7.5, 8730, colour);             // vertical at the edge
    s.line(4000, 4000, 4000, 4000, colour);        // a single point
    s.line(-500, -500, 11000, 9000, colour);       // beyond the window
    s.setForeColor(colour);
    double y = 300.3;
    for (const Font& f : kFonts) {
        s.setFont(f.name, f.points, f.bold);
        s.printAt(1234.5, y, "Center 2450.000 MHz  Span 100 MHz -37 dB");
        y += 997.7;
    }
}

}  // namespace

class TestImageSurface : public QObject {
    Q_OBJECT
  private slots:
    void normalWindowAt96Dpi() {
        kv::ImageSurface s(96);
        s.resize(717, 582);
        QCOMPARE(s.twipsPerLogicalPixel(), 15.0);
        QCOMPARE(s.image().size(), QSize(717, 582));
        QCOMPARE(s.scaleWidth(), 10755.0f);
        QCOMPARE(s.scaleHeight(), 8730.0f);
        QCOMPARE(s.toDevice(10755), 717);
        QCOMPARE(s.toDevice(8730), 582);
    }

    void redrawInBackgroundErasesEveryPixel_data() {
        QTest::addColumn<double>("dpr");
        QTest::newRow("dpr 1") << 1.0;
        QTest::newRow("dpr 2") << 2.0;
        QTest::newRow("dpr 1.5") << 1.5;
    }
    void redrawInBackgroundErasesEveryPixel() {
        QFETCH(double, dpr);
        Window w(dpr);
        drawLinesAndTexts(w.surface, kTrace);
        QVERIFY(countPixels(w.surface.image(), kTrace) > 1000);
        drawLinesAndTexts(w.surface, kPlot);
        QCOMPARE(countPixels(w.surface.image(), kTrace), 0);
    }

    void textAndLinesAreNotSmoothed_data() { redrawInBackgroundErasesEveryPixel_data(); }
    void textAndLinesAreNotSmoothed() {
        QFETCH(double, dpr);
        Window w(dpr);
        drawLinesAndTexts(w.surface, kTrace);
        const std::set<QRgb> expected{kv::ImageSurface::toQColor(kPlot).rgb(),
                                      kv::ImageSurface::toQColor(kTrace).rgb()};
        QCOMPARE(coloursIn(w.surface.image()), expected);
    }

    void growingKeepsThePicture() {
        Window w(1);
        w.surface.line(1500, 1500, 3000, 1500, kTrace);
        const QImage before = w.surface.image();
        w.surface.resize(1000, 800);
        QCOMPARE(w.surface.image().size(), QSize(1000, 800));
        QCOMPARE(w.surface.image().copy(0, 0, 717, 582), before);
        QCOMPARE(w.surface.image().pixelColor(900, 700), w.surface.backColor());
        w.surface.resize(300, 200);  // shrinking keeps the image for the next growth
        QCOMPARE(w.surface.image().size(), QSize(1000, 800));
        QCOMPARE(w.surface.windowPicture().size(), QSize(300, 200));
        QCOMPARE(w.surface.windowPicture().pixel(150, 100), before.pixel(150, 100));
    }

    void textExtentIsInTwipsAndHoldsTheInk_data() {
        QTest::addColumn<double>("dpr");
        QTest::addColumn<int>("font");
        for (double dpr : {1.0, 2.0})
            for (int f = 0; f < int(kFonts.size()); ++f)
                QTest::addRow("dpr %g %s", dpr, kFonts[f].name) << dpr << f;
    }
    void textExtentIsInTwipsAndHoldsTheInk() {
        QFETCH(double, dpr);
        QFETCH(int, font);
        const Font& f = kFonts[static_cast<std::size_t>(font)];
        const char* text = "Marker 1: 2450.125 MHz -42 dB";
        kv::ImageSurface unsized(96, dpr);  // measured before the window has a size
        unsized.setFont(f.name, f.points, f.bold);
        Window w(dpr);
        w.surface.setFont(f.name, f.points, f.bold);
        const double width = w.surface.textWidth(text);
        const double height = w.surface.textHeight(text);
        QCOMPARE(unsized.textWidth(text), width);
        QCOMPARE(unsized.textHeight(text), height);
        // f.points at 96 DPI is points * 4/3 pixels of 15 twips: the line height is near it.
        const double pointsInTwips = f.points * 20;
        QVERIFY2(height > pointsInTwips && height < 2 * pointsInTwips,
                 qPrintable(QString::number(height)));
        QVERIFY(width > 10 * pointsInTwips / 2);

        w.surface.setForeColor(kTrace);
        w.surface.printAt(1500, 1500, text);
        const QRect ink = inkOf(w.surface.image(), kTrace);
        const QRect extent(
            QPoint(w.surface.toDevice(1500), w.surface.toDevice(1500)),
            QPoint(w.surface.toDevice(1500 + width), w.surface.toDevice(1500 + height)));
        QVERIFY2(extent.adjusted(-1, 0, 1, 0).contains(ink),
                 qPrintable(QString("ink %1,%2 %3x%4 outside extent %5,%6 %7x%8")
                                .arg(ink.x())
                                .arg(ink.y())
                                .arg(ink.width())
                                .arg(ink.height())
                                .arg(extent.x())
                                .arg(extent.y())
                                .arg(extent.width())
                                .arg(extent.height())));
        QVERIFY(ink.width() > extent.width() * 3 / 4);
    }

    void doubleDensityDoublesPixelsNotTwips() {
        kv::ImageSurface s(96, 2);
        s.resize(717, 582);
        QCOMPARE(s.image().size(), QSize(1434, 1164));
        QCOMPARE(s.scaleWidth(), 10755.0f);
        QCOMPARE(s.scaleHeight(), 8730.0f);
        QCOMPARE(s.toDevice(1500), 200);

        kv::ImageSurface moved(96, 1);  // the window moved to a double-density screen
        moved.resize(717, 582);
        moved.setDevicePixelRatio(2);
        QCOMPARE(moved.image().size(), QSize(1434, 1164));
        QCOMPARE(moved.scaleWidth(), 10755.0f);
    }
};

QTEST_MAIN(TestImageSurface)
#include "test_image_surface.moc"
