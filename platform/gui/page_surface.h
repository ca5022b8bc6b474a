// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QRectF>

#include "surface.h"

namespace kv {

// A drawing surface of a given size in twips, drawn as vectors (lines, boxes and text) through
// a painter onto `area` of its device, scaled to fit and centred. The picture is drawn anew at
// the device's own resolution, so a printed page is as sharp as the printer allows.
class PageSurface : public Surface {
  public:
    // `pixelTwips`: the size of one window pixel, the width every line is drawn with.
    PageSurface(QPainter& painter, const QRectF& area, float scaleWidth, float scaleHeight,
                QColor backColor, double pixelTwips);

    void clear() override;
    void line(double x1, double y1, double x2, double y2, Colour colour) override;
    void line(double x1, double y1, double x2, double y2) override;
    void filledBox(double x1, double y1, double x2, double y2, Colour colour) override;
    void setForeColor(Colour colour) override { fore_ = colour; }
    void setFont(const std::string& name, double points, bool bold) override;
    void setCurrentX(double x) override { x_ = x; }
    void setCurrentY(double y) override { y_ = y; }
    void print(std::string_view text) override;
    double textWidth(std::string_view text) const override;
    double textHeight(std::string_view text) const override;
    float scaleWidth() const override { return width_; }
    float scaleHeight() const override { return height_; }

  private:
    QPointF toDevice(double x, double y) const;

    QPainter& painter_;
    float width_;
    float height_;
    QColor backColor_;
    double scale_ = 1;  // device units per twip
    QPointF origin_;
    double penWidth_ = 1;  // one pixel of the window, scaled like everything else
    Colour fore_ = 0;
    QFont font_;
    double x_ = 0;
    double y_ = 0;
};

}  // namespace kv
