#include "surface_view.h"

#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>

namespace kv {

SurfaceView::SurfaceView(ImageSurface& surface, QWidget* parent)
    : QWidget(parent), surface_(surface) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    surface_.setDevicePixelRatio(devicePixelRatioF());
    surface_.setOnChanged([this](const QRect& r) { update(r); });
}

void SurfaceView::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    const QImage& image = surface_.image();
    const qreal dpr = devicePixelRatioF();
    for (const QRect& r : event->region()) {
        const QRectF source(r.x() * dpr, r.y() * dpr, r.width() * dpr, r.height() * dpr);
        p.drawImage(QRectF(r), image, source);
    }
}

void SurfaceView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    surface_.resize(width(), height());
    if (onResized) onResized(width(), height());
}

void SurfaceView::keyPressEvent(QKeyEvent* event) {
    if (onKeyPressed) onKeyPressed(event);
}

bool SurfaceView::event(QEvent* event) {
    if (event->type() == QEvent::ScreenChangeInternal) {
        if (surface_.setDevicePixelRatio(devicePixelRatioF()) && onRedrawNeeded) onRedrawNeeded();
    }
    // Tab must reach the key handler like any other key rather than move the focus.
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            keyPressEvent(key);
            return true;
        }
    }
    return QWidget::event(event);
}

}  // namespace kv
