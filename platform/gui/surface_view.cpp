// SPDX-License-Identifier: GPL-3.0-or-later
#include "surface_view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

namespace kv {

SurfaceView::SurfaceView(ImageSurface& surface, QWidget* parent)
    : QWidget(parent), surface_(surface) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    surface_.setDevicePixelRatio(devicePixelRatioF());
    surface_.setOnChanged([this](const QRect& r) { markChanged(r); });
    handover_.setSingleShot(true);
    connect(&handover_, &QTimer::timeout, this, &SurfaceView::updateMarkedTiles);
}

void SurfaceView::markChanged(const QRect& changed) {
    // Qt drops the updates of a hidden widget and repaints all of it when it is shown.
    if (!isVisible()) return;
    const QRect r = changed & rect();
    if (r.isEmpty()) return;
    const int columns = (width() + kTileSize - 1) / kTileSize;
    const int rows = (height() + kTileSize - 1) / kTileSize;
    if (columns != tileColumns_ || rows != tileRows_) {
        // A new size: the whole widget is repainted anyway.
        tileColumns_ = columns;
        tileRows_ = rows;
        marked_.assign(static_cast<std::size_t>(columns * rows), 0);
    }
    for (int row = r.top() / kTileSize; row <= r.bottom() / kTileSize; ++row) {
        auto* tiles = marked_.data() + static_cast<std::ptrdiff_t>(row) * tileColumns_;
        std::fill(tiles + r.left() / kTileSize, tiles + r.right() / kTileSize + 1, 1);
    }
    if (updatePending_) return;
    updatePending_ = true;
    const auto since = std::chrono::steady_clock::now() - lastHandover_;
    handover_.start(since >= kLiveRepaintInterval ? std::chrono::milliseconds(0)
                                                  : std::chrono::ceil<std::chrono::milliseconds>(
                                                        kLiveRepaintInterval - since));
}

QRegion SurfaceView::takeMarkedTiles() {
    // One band per row of tiles, runs of marked tiles as rectangles: already in the banded
    // form QRegion keeps, so no merging is needed.
    std::vector<QRect> runs;
    for (int row = 0; row < tileRows_; ++row) {
        auto* tiles = marked_.data() + static_cast<std::ptrdiff_t>(row) * tileColumns_;
        for (int column = 0; column < tileColumns_;) {
            if (!tiles[column]) {
                ++column;
                continue;
            }
            const int first = column;
            while (column < tileColumns_ && tiles[column]) tiles[column++] = 0;
            runs.emplace_back(first * kTileSize, row * kTileSize, (column - first) * kTileSize,
                              kTileSize);
        }
    }
    QRegion region;
    region.setRects(runs.data(), static_cast<int>(runs.size()));
    return region & rect();
}

void SurfaceView::updateMarkedTiles() {
    handover_.stop();
    updatePending_ = false;
    lastHandover_ = std::chrono::steady_clock::now();
    const QRegion region = takeMarkedTiles();
    if (!region.isEmpty()) update(region);
}

void SurfaceView::flush() {
    if (!updatePending_) return;
    handover_.stop();
    updatePending_ = false;
    lastHandover_ = std::chrono::steady_clock::now();
    const QRegion region = takeMarkedTiles();
    if (!region.isEmpty()) repaint(region);
}

void SurfaceView::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    const QImage& image = surface_.image();
    const qreal dpr = devicePixelRatioF();
    for (const QRect& r : event->region()) {
        // Qt hands the rows of a tall blit to its thread pool, and waking the workers and
        // waiting for them costs more than the copy; strips of a tile's height stay local.
        for (int top = r.top(); top <= r.bottom(); top += kTileSize) {
            const QRect band(r.left(), top, r.width(), std::min(kTileSize, r.bottom() + 1 - top));
            const QRectF source(band.x() * dpr, band.y() * dpr, band.width() * dpr,
                                band.height() * dpr);
            p.drawImage(QRectF(band), image, source);
        }
    }
}

void SurfaceView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    surface_.resize(width(), height());
    if (onResized) onResized(width(), height());
}

void SurfaceView::keyPressEvent(QKeyEvent* event) {
    if (onKeyPressed) onKeyPressed(event);
    flush();
}

void SurfaceView::mousePressEvent(QMouseEvent* event) {
    if (onMousePressed) onMousePressed(event);
    flush();
}

void SurfaceView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (onMouseDoubleClicked) onMouseDoubleClicked(event);
    flush();
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
