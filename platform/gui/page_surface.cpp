// SPDX-License-Identifier: GPL-3.0-or-later
#include "page_surface.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <algorithm>

#include "image_surface.h"
#include "qt_colour.h"

namespace kv {

namespace {
constexpr double kTwipsPerPoint = 20;

QString toQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
}  // namespace

PageSurface::PageSurface(QPainter& painter, const QRectF& area, float scaleWidth, float scaleHeight,
                         QColor backColor, double pixelTwips)
    : painter_(painter),
      width_(scaleWidth),
      height_(scaleHeight),
      backColor_(backColor),
      font_(ImageSurface::makeFont(kLabelFontName, kLabelFontPoints, false)) {
    if (scaleWidth > 0 && scaleHeight > 0)
        scale_ = std::min(area.width() / scaleWidth, area.height() / scaleHeight);
    origin_ = QPointF(area.x() + (area.width() - scaleWidth * scale_) / 2,
                      area.y() + (area.height() - scaleHeight * scale_) / 2);
    penWidth_ = pixelTwips * scale_;
    setFont(kLabelFontName, kLabelFontPoints, false);
}

QPointF PageSurface::toDevice(double x, double y) const {
    return origin_ + QPointF(x * scale_, y * scale_);
}

void PageSurface::clear() {
    painter_.fillRect(QRectF(toDevice(0, 0), toDevice(width_, height_)), backColor_);
}

void PageSurface::line(double x1, double y1, double x2, double y2, Colour colour) {
    // Square ends cover the end points, as the window's one-pixel lines do.
    painter_.setPen(QPen(toQColor(colour), penWidth_, Qt::SolidLine, Qt::SquareCap));
    painter_.drawLine(toDevice(x1, y1), toDevice(x2, y2));
}

void PageSurface::line(double x1, double y1, double x2, double y2) {
    line(x1, y1, x2, y2, fore_);
}

void PageSurface::filledBox(double x1, double y1, double x2, double y2, Colour colour) {
    const double half = penWidth_ / 2;
    const QRectF box = QRectF(toDevice(x1, y1), toDevice(x2, y2)).normalized();
    painter_.fillRect(box.adjusted(-half, -half, half, half), toQColor(colour));
}

void PageSurface::setFont(const std::string& name, double points, bool bold) {
    // The same size relative to the picture as on the window, at the device's resolution.
    const double devicePoints =
        points * kTwipsPerPoint * scale_ * 72 / painter_.device()->logicalDpiY();
    font_ = ImageSurface::makeFont(name, devicePoints, bold);
    painter_.setFont(font_);
}

void PageSurface::print(std::string_view text) {
    if (text.empty()) return;
    painter_.setPen(toQColor(fore_));
    painter_.setFont(font_);
    const QFontMetricsF fm(font_, painter_.device());
    painter_.drawText(toDevice(x_, y_) + QPointF(0, fm.ascent()), toQString(text));
}

double PageSurface::textWidth(std::string_view text) const {
    return QFontMetricsF(font_, painter_.device()).horizontalAdvance(toQString(text)) / scale_;
}

double PageSurface::textHeight(std::string_view) const {
    return QFontMetricsF(font_, painter_.device()).height() / scale_;
}

}  // namespace kv
