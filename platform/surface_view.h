#pragma once

#include <QWidget>
#include <functional>

#include "image_surface.h"

namespace kv {

// Shows an ImageSurface. paintEvent only blits the retained picture; drawing on the surface
// repaints just the rectangle it changed.
class SurfaceView : public QWidget {
    Q_OBJECT
  public:
    SurfaceView(ImageSurface& surface, QWidget* parent = nullptr);

    std::function<void(int width, int height)> onResized;
    std::function<void(QKeyEvent*)> onKeyPressed;
    // The picture has to be drawn again (a screen of another pixel density).
    std::function<void()> onRedrawNeeded;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

  private:
    ImageSurface& surface_;
};

}  // namespace kv
