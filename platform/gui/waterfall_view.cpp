// SPDX-License-Identifier: GPL-3.0-or-later
#include "waterfall_view.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <utility>

namespace kv {

namespace {
constexpr int kDragEdge = 5;  // logical pixels at the top edge that take a drag
constexpr int kLabelPadding = 2;
}  // namespace

WaterfallView::WaterfallView(double logicalDpi, QWidget* parent)
    : QWidget(parent), scale_(logicalDpi, 1) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    // The keys stay with the picture above.
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
}

void WaterfallView::setScaleHeight(int height) {
    scaleHeight_ = std::max(0, height);
}

void WaterfallView::resetRows(std::uint32_t fill) {
    const double dpr = devicePixelRatioF();
    scale_.setDevicePixelRatio(dpr);
    scale_.resize(width(), scaleHeight_);
    ring_ = QImage(static_cast<int>(std::ceil(width() * dpr)),
                   static_cast<int>(std::ceil(rowsHeight() * dpr)), QImage::Format_RGB32);
    // Text on the ring is set at the resolution the surfaces use.
    const int dotsPerMeter = static_cast<int>(
        std::lround(ImageSurface::kTwipsPerInch / scale_.twipsPerLogicalPixel() * dpr / 0.0254));
    ring_.setDotsPerMeterX(dotsPerMeter);
    ring_.setDotsPerMeterY(dotsPerMeter);
    ring_.fill(fill);
    newest_ = 0;
    update();
}

std::span<std::uint32_t> WaterfallView::newRow() {
    if (ring_.isNull()) return {};
    newest_ = (newest_ + ring_.height() - 1) % ring_.height();
    return newestRow();
}

std::span<std::uint32_t> WaterfallView::newestRow() {
    if (ring_.isNull()) return {};
    update(0, 0, width(), rowsHeight());
    return {reinterpret_cast<std::uint32_t*>(ring_.scanLine(newest_)),
            static_cast<std::size_t>(ring_.width())};
}

int WaterfallView::labelRows() const {
    return QFontMetrics(ImageSurface::makeFont(kLabelFontName, kLabelFontPoints, false), &ring_)
        .height();
}

void WaterfallView::labelNewestRow(std::string_view text, double xTwips, std::uint32_t fore,
                                   std::uint32_t back) {
    if (ring_.isNull()) return;
    QPainter p(&ring_);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    p.setFont(ImageSurface::makeFont(kLabelFontName, kLabelFontPoints, false));
    const QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    const QFontMetrics metrics(p.font(), &ring_);
    const QRect box(scale_.toDevice(xTwips), newest_,
                    metrics.horizontalAdvance(s) + 2 * kLabelPadding, metrics.height());
    // Drawn again one ring height up where it runs past the ring's last row.
    for (const int shift : {0, -ring_.height()}) {
        const QRect at = box.translated(0, shift);
        p.fillRect(at, QColor::fromRgb(back));
        p.setPen(QColor::fromRgb(fore));
        p.drawText(at.adjusted(kLabelPadding, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop, s);
    }
}

void WaterfallView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const double dpr = devicePixelRatioF();
    if (!ring_.isNull()) {
        // From the newest row to the ring's end, then from its start.
        const int upper = ring_.height() - newest_;
        p.drawImage(QRectF(0, 0, width(), upper / dpr), ring_,
                    QRectF(0, newest_, ring_.width(), upper));
        if (newest_ > 0)
            p.drawImage(QRectF(0, upper / dpr, width(), newest_ / dpr), ring_,
                        QRectF(0, 0, ring_.width(), newest_));
    }
    p.drawImage(QRectF(0, rowsHeight(), width(), scaleHeight_), scale_.image());
}

void WaterfallView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (onResized) onResized();
}

int WaterfallView::ringRowAt(double y) const {
    return std::clamp(static_cast<int>(y * devicePixelRatioF()), 0,
                      std::max(0, ring_.height() - 1));
}

void WaterfallView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const double y = event->position().y();
    if (y >= kDragEdge) {
        if (y >= rowsHeight() || !onRowsDragged) return;
        rowsFrom_ = ringRowAt(y);
        onRowsDragged(*rowsFrom_, *rowsFrom_, false);
        return;
    }
    dragFromY_ = qRound(event->globalPosition().y());
    dragFromHeight_ = height();
}

void WaterfallView::mouseMoveEvent(QMouseEvent* event) {
    if (rowsFrom_) {
        if (onRowsDragged) onRowsDragged(*rowsFrom_, ringRowAt(event->position().y()), false);
        return;
    }
    if (!dragFromY_) {
        setCursor(event->position().y() < kDragEdge ? Qt::SizeVerCursor : Qt::ArrowCursor);
        return;
    }
    const int height = dragFromHeight_ - (qRound(event->globalPosition().y()) - *dragFromY_);
    if (onHeightDragged) onHeightDragged(std::max(height, leastHeight()));
}

void WaterfallView::mouseReleaseEvent(QMouseEvent* event) {
    dragFromY_.reset();
    if (const auto from = std::exchange(rowsFrom_, std::nullopt); from && onRowsDragged)
        onRowsDragged(*from, ringRowAt(event->position().y()), true);
}

}  // namespace kv
