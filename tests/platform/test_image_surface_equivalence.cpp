#include <QPainter>
#include <QtTest>

#include "image_surface.h"

// The surface keeps one painter open, fills level and upright lines instead of stroking them,
// skips a line repeated right after itself and lays texts out once. None of that may change
// a pixel: these cases compare it with plain QPainter drawing.
namespace {

constexpr kv::Colour kPlot = kv::rgbColour(0, 0, 0);
constexpr kv::Colour kTrace = kv::rgbColour(255, 255, 0);
constexpr kv::Colour kGrid = kv::rgbColour(0, 64, 128);

QColor qt(kv::Colour c) {
    return kv::ImageSurface::toQColor(c);
}

// The surface at its normal size, dpr 1, filled with the plot colour.
struct Window {
    Window() {
        surface.resize(717, 582);
        surface.filledBox(0, 0, 10755, 8730, kPlot);
    }
    // The same picture drawn with plain QPainter calls.
    QImage reference() const {
        QImage image(717, 582, QImage::Format_RGB32);
        image.fill(qt(kPlot));
        return image;
    }
    kv::ImageSurface surface{96, 1};
};

void strokeLine(QImage& image, QPoint a, QPoint b, kv::Colour colour) {
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(qt(colour), 0));
    p.drawLine(a, b);
}

}  // namespace

class TestImageSurfaceEquivalence : public QObject {
    Q_OBJECT
  private slots:
    void linesMatchQtCosmeticLines_data() {
        QTest::addColumn<QPoint>("a");
        QTest::addColumn<QPoint>("b");
        QTest::newRow("level") << QPoint(33, 100) << QPoint(683, 100);
        QTest::newRow("level, right to left") << QPoint(683, 120) << QPoint(33, 120);
        QTest::newRow("upright") << QPoint(98, 33) << QPoint(98, 501);
        QTest::newRow("upright, bottom to top") << QPoint(99, 501) << QPoint(99, 33);
        QTest::newRow("level, beyond the left edge") << QPoint(-40, 300) << QPoint(200, 300);
        QTest::newRow("upright, beyond the bottom") << QPoint(300, 400) << QPoint(300, 700);
        QTest::newRow("a single point") << QPoint(250, 250) << QPoint(250, 250);
        QTest::newRow("steep") << QPoint(140, 480) << QPoint(153, 60);
        QTest::newRow("shallow, right to left") << QPoint(600, 200) << QPoint(40, 260);
    }
    void linesMatchQtCosmeticLines() {
        QFETCH(QPoint, a);
        QFETCH(QPoint, b);
        Window w;
        // Twips that map onto the pixels exactly (15 twips a pixel at 96 DPI).
        w.surface.line(a.x() * 15, a.y() * 15, b.x() * 15, b.y() * 15, kTrace);
        QImage expected = w.reference();
        strokeLine(expected, a, b, kTrace);
        QCOMPARE(w.surface.image(), expected);
    }

    void textsMatchQtText_data() {
        QTest::addColumn<double>("dpr");
        QTest::newRow("dpr 1") << 1.0;
        QTest::newRow("dpr 1.5") << 1.5;
        QTest::newRow("dpr 2") << 2.0;
    }
    void textsMatchQtText() {
        QFETCH(double, dpr);
        kv::ImageSurface surface(96, dpr);
        surface.resize(717, 582);
        surface.filledBox(0, 0, 10755, 8730, kPlot);
        QImage expected = surface.image().copy();
        expected.fill(qt(kPlot));
        QFont font(QStringLiteral("MS Sans Serif"));
        font.setStyleHint(QFont::SansSerif);
        font.setPointSizeF(8);
        font.setStyleStrategy(QFont::NoAntialias);
        font.setHintingPreference(QFont::PreferFullHinting);
        QPainter p(&expected);
        p.setFont(font);
        p.setPen(qt(kTrace));
        const QFontMetrics metrics(font, &expected);
        surface.setForeColor(kTrace);
        // More distinct texts than the surface keeps laid out, some printed again later.
        for (int i = 0; i < 150; ++i) {
            const int n = i < 100 ? i : i - 100;
            const std::string text = "Sweep Time (mS): " + std::to_string(n * 37);
            const QPointF twips(45 + (i % 7) * 1500.5, 75 + (i % 31) * 270.3);
            surface.printAt(twips.x(), twips.y(), text);
            p.drawText(surface.toDevice(twips.x()), surface.toDevice(twips.y()) + metrics.ascent(),
                       QString::fromStdString(text));
        }
        p.end();
        QCOMPARE(surface.image(), expected);
    }

    // A repeated line is only skipped while nothing else was drawn in between.
    void aLineRepeatedAfterOtherDrawingIsDrawnAgain() {
        Window w;
        w.surface.line(1500, 1500, 6000, 3000, kTrace);
        w.surface.line(1500, 1500, 6000, 3000, kTrace);  // the same picture
        w.surface.filledBox(0, 0, 10755, 8730, kPlot);
        w.surface.line(1500, 1500, 6000, 3000, kTrace);
        QImage expected = w.reference();
        strokeLine(expected, QPoint(100, 100), QPoint(400, 200), kTrace);
        QCOMPARE(w.surface.image(), expected);

        w.surface.line(1500, 1500, 6000, 3000, kGrid);  // same line, other colour
        w.surface.clear();
        w.surface.line(1500, 1500, 6000, 3000, kGrid);
        QVERIFY(w.surface.image().pixelColor(100, 100) == qt(kGrid));
    }

    // A copy of the picture keeps what it showed while drawing goes on.
    void aCopyOfThePictureDoesNotChange() {
        Window w;
        w.surface.line(1500, 1500, 6000, 3000, kTrace);
        const QImage copy = w.surface.image();
        const QImage deep = copy.copy();
        w.surface.line(1500, 3000, 6000, 1500, kTrace);
        w.surface.setForeColor(kTrace);
        w.surface.printAt(3000, 3000, "Span (MHz): 26");
        QCOMPARE(copy, deep);
        QVERIFY(w.surface.image() != deep);
    }
};

QTEST_MAIN(TestImageSurfaceEquivalence)
#include "test_image_surface_equivalence.moc"
