#include <QPaintEvent>
#include <QtTest>

#include "image_surface.h"
#include "surface_view.h"

namespace {

constexpr kv::Colour kPlot = kv::rgbColour(0, 0, 0);
constexpr kv::Colour kTrace = kv::rgbColour(255, 255, 0);
constexpr kv::Colour kGrid = kv::rgbColour(0, 64, 128);

// A view that remembers the regions it was asked to paint.
class RecordingView : public kv::SurfaceView {
  public:
    using SurfaceView::SurfaceView;
    std::vector<QRegion> painted;

  protected:
    void paintEvent(QPaintEvent* event) override {
        painted.push_back(event->region());
        SurfaceView::paintEvent(event);
    }
};

// Whether every pixel that differs between the two pictures lies in the region.
bool coversChanges(const QRegion& region, const QImage& before, const QImage& after) {
    for (int y = 0; y < before.height(); ++y)
        for (int x = 0; x < before.width(); ++x)
            if (before.pixel(x, y) != after.pixel(x, y) && !region.contains(QPoint(x, y)))
                return false;
    return true;
}

// A sweep pass as the display draws it: many short segments, each inner one twice in a row,
// the grid over them, and a readout.
void drawPass(kv::ImageSurface& s, int seed) {
    for (int i = 0; i < 60; ++i) {
        const double x = 500 + i * 160;
        const double y1 = 2000 + ((i * 37 + seed * 11) % 40) * 100;
        const double y2 = 2000 + (((i + 1) * 37 + seed * 11) % 40) * 100;
        s.line(x, y1, x + 160, y2, kTrace);
        s.line(x, y1, x + 160, y2, kTrace);
    }
    for (int i = 0; i <= 10; ++i) {
        s.line(500 + i * 975, 500, 500 + i * 975, 7800, kGrid);
        s.line(400, 500 + i * 730, 10255, 500 + i * 730, kGrid);
    }
    s.setForeColor(kTrace);
    s.printAt(550, 550, "Sweep Time (mS): " + std::to_string(50 + seed));
}

}  // namespace

class TestSurfaceView : public QObject {
    Q_OBJECT
  private slots:
    // The changes of a pass reach the window in the very next trip through the event loop,
    // and only the tiles they touched are repainted.
    void aPassIsShownAfterOneTripThroughTheEventLoop() {
        kv::ImageSurface surface(96);
        RecordingView view(surface);
        view.resize(717, 582);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        surface.filledBox(0, 0, 10755, 8730, kPlot);
        QCoreApplication::processEvents();

        for (int pass = 0; pass < 3; ++pass) {
            const QImage before = surface.image().copy();
            view.painted.clear();
            drawPass(surface, pass);
            QCoreApplication::processEvents();
            QCOMPARE(view.painted.size(), std::size_t{1});
            QVERIFY(coversChanges(view.painted.front(), before, surface.image()));
        }
        // Only the plot: the bottom rows of the window hold no change.
        QVERIFY(!view.painted.front().intersects(QRect(0, 560, 717, 22)));
    }

    // A single small change repaints a single tile, not the window.
    void aSmallChangeRepaintsItsTile() {
        kv::ImageSurface surface(96);
        RecordingView view(surface);
        view.resize(717, 582);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCoreApplication::processEvents();
        view.painted.clear();
        const QImage before = surface.image().copy();

        surface.line(5000, 4000, 5100, 4050, kTrace);  // pixels 333..340, 266..270
        QCoreApplication::processEvents();
        QCOMPARE(view.painted.size(), std::size_t{1});
        const QRect tile(320, 256, kv::SurfaceView::kTileSize, kv::SurfaceView::kTileSize);
        QCOMPARE(view.painted.front().boundingRect(), tile);
        QVERIFY(coversChanges(view.painted.front(), before, surface.image()));
    }
};

QTEST_MAIN(TestSurfaceView)
#include "test_surface_view.moc"
