// The drawing surface keeps one painter open, fills level and upright lines, skips a line
// repeated right after itself and lays texts out once: no pixel may differ from QPainter's.
#include <QPainter>
#include <QtTest>

#include "image_surface.h"
#include "qt_colour.h"

namespace {

constexpr kv::Colour kPlot = kv::rgbColour(0, 0, 0);
constexpr kv::Colour kTrace = kv::rgbColour(255, 255, 0);
constexpr kv::Colour kGrid = kv::rgbColour(0, 64, 128);

QColor qt(kv::Colour c) {
    return kv::toQColor(c);
}

// One drawing step, done on the surface and with plain QPainter calls. Lines are in pixels
// (15 twips each at 96 DPI); Box fills the window; DrawAndErase draws lines and texts and
// then the same in the background colour, which leaves nothing to draw on the reference.
struct Step {
    enum Op { Line, Box, Clear, Texts, DrawAndErase } op;
    QLine line{};
    kv::Colour colour = kTrace;
};
using Steps = QList<Step>;

// Lines in every direction, off the window and on half pixels, and texts in four fonts.
void drawLinesAndTexts(kv::ImageSurface& s, kv::Colour colour) {
    s.line(100.4, 200.6, 9000.2, 7000.9, colour);
    s.line(5000.5, 100, 5200.5, 8000.3, colour);
    s.line(8000, 500.5, 300.2, 600.7, colour);
    s.line(1000, 4007.5, 9000, 4007.5, colour);
    s.line(7.5, 0, 7.5, 8730, colour);
    s.line(4000, 4000, 4000, 4000, colour);
    s.line(-500, -500, 11000, 9000, colour);
    s.setForeColor(colour);
    double y = 300.3;
    for (const auto& [name, points, bold] :
         {std::tuple{"MS Sans Serif", 8.0, false}, std::tuple{"Arial", 10.0, true},
          std::tuple{"Courier New", 9.0, false}, std::tuple{"Times New Roman", 14.0, false}}) {
        s.setFont(name, points, bold);
        s.printAt(1234.5, y += 997.7, "Center 2450.000 MHz  Span 100 MHz -37 dB");
    }
}

}  // namespace

Q_DECLARE_METATYPE(Steps)

class TestImageSurface : public QObject {
    Q_OBJECT
  private slots:
    void matchesPlainQtDrawing_data() {
        QTest::addColumn<double>("dpr");
        QTest::addColumn<Steps>("steps");
        const auto line = [](int x1, int y1, int x2, int y2, kv::Colour c = kTrace) {
            return Step{Step::Line, QLine(x1, y1, x2, y2), c};
        };
        QTest::newRow("lines in every direction, off the window, a point")
            << 1.0
            << Steps{line(33, 100, 683, 100),  line(683, 120, 33, 120),  line(99, 501, 99, 33),
                     line(-40, 300, 200, 300), line(300, 400, 300, 700), line(250, 250, 250, 250),
                     line(140, 480, 153, 60),  line(600, 200, 40, 260)};
        QTest::newRow("repeated after a box") << 1.0
                                              << Steps{line(100, 100, 400, 200),
                                                       line(100, 100, 400, 200),
                                                       {Step::Box},
                                                       line(100, 100, 400, 200)};
        QTest::newRow("repeated after a clear")
            << 1.0
            << Steps{
                   line(100, 100, 400, 200, kGrid), {Step::Clear}, line(100, 100, 400, 200, kGrid)};
        // More distinct texts than the surface keeps laid out, some printed again later.
        for (double dpr : {1.0, 1.5, 2.0}) {
            QTest::addRow("texts, dpr %g", dpr) << dpr << Steps{{Step::Texts}};
            QTest::addRow("erased, dpr %g", dpr) << dpr << Steps{{Step::DrawAndErase}};
        }
    }
    void matchesPlainQtDrawing() {
        QFETCH(double, dpr);
        QFETCH(Steps, steps);
        // Moved to a screen of this density and grown, each with a painter open, before drawing.
        kv::ImageSurface surface(96, 1);
        surface.resize(300, 200);
        surface.line(0, 0, 1500, 3000, kTrace);
        surface.setDevicePixelRatio(dpr);
        surface.line(0, 0, 1500, 3000, kTrace);
        surface.resize(717, 582);
        surface.filledBox(0, 0, 10755, 8730, kPlot);
        QImage expected = surface.image().copy();
        QPainter p(&expected);
        p.fillRect(expected.rect(), qt(kPlot));
        QFont font(QStringLiteral("MS Sans Serif"));
        font.setStyleHint(QFont::SansSerif);
        font.setPointSizeF(8);
        font.setStyleStrategy(QFont::NoAntialias);
        font.setHintingPreference(QFont::PreferFullHinting);
        p.setFont(font);
        const QFontMetrics metrics(font, &expected);
        for (const Step& step : steps) {
            const QLine& l = step.line;
            switch (step.op) {
                case Step::DrawAndErase:
                    drawLinesAndTexts(surface, kTrace);
                    QVERIFY(surface.image() != expected);
                    drawLinesAndTexts(surface, kPlot);
                    break;
                case Step::Line:
                    surface.line(l.x1() * 15, l.y1() * 15, l.x2() * 15, l.y2() * 15, step.colour);
                    p.setPen(QPen(qt(step.colour), 0));
                    p.drawLine(l);
                    break;
                case Step::Box:
                    surface.filledBox(0, 0, 10755, 8730, kPlot);
                    p.fillRect(expected.rect(), qt(kPlot));
                    break;
                case Step::Clear:
                    surface.clear();
                    p.fillRect(expected.rect(), surface.backColor());
                    break;
                case Step::Texts:
                    surface.setForeColor(kTrace);
                    p.setPen(qt(kTrace));
                    for (int i = 0; i < 150; ++i) {
                        const std::string text =
                            "Sweep Time (mS): " + std::to_string((i < 100 ? i : i - 100) * 37);
                        const QPointF twips(45 + (i % 7) * 1500.5, 75 + (i % 31) * 270.3);
                        surface.printAt(twips.x(), twips.y(), text);
                        p.drawText(surface.toDevice(twips.x()),
                                   surface.toDevice(twips.y()) + metrics.ascent(),
                                   QString::fromStdString(text));
                    }
            }
        }
        p.end();
        QCOMPARE(surface.image(), expected);
    }
};

QTEST_MAIN(TestImageSurface)
#include "test_image_surface.moc"
