// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRegion>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "image_surface.h"

namespace kv {

// Shows an ImageSurface. paintEvent only blits the retained picture; drawing on the surface
// repaints just the tiles it changed.
class SurfaceView : public QWidget {
    Q_OBJECT
  public:
    SurfaceView(ImageSurface& surface, QWidget* parent = nullptr);

    std::function<void(int width, int height)> onResized;
    std::function<void(QKeyEvent*)> onKeyPressed;
    // A mouse button pressed, and the second press of a double click.
    std::function<void(QMouseEvent*)> onMousePressed;
    std::function<void(QMouseEvent*)> onMouseDoubleClicked;
    // The picture has to be drawn again (a screen of another pixel density).
    std::function<void()> onRedrawNeeded;

    static constexpr int kTileSize = 32;
    // The live trace reaches the window at most this often: a sweep yields every few
    // milliseconds, and repainting at each yield would cost more than the sweep itself.
    static constexpr std::chrono::milliseconds kLiveRepaintInterval{40};

    // Puts what was drawn since on the window now. A key's drawing goes out this way at once,
    // also from inside a sweep's yield.
    void flush();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

  private:
    // Telling the widget of every one of the thousand small rectangles of a sweep pass costs
    // more than the repaint (each update() merges into an ever more ragged region), so changes
    // only mark tiles; the tiles go to the widget once, before the window repaints.
    void markChanged(const QRect& rect);
    void updateMarkedTiles();
    QRegion takeMarkedTiles();

    ImageSurface& surface_;
    std::vector<std::uint8_t> marked_;  // one per tile, row by row
    int tileColumns_ = 0;
    int tileRows_ = 0;
    bool updatePending_ = false;
    QTimer handover_;
    std::chrono::steady_clock::time_point lastHandover_;
};

}  // namespace kv
