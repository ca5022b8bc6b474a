// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QStaticText>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>

#include "surface.h"

namespace kv {

// The drawing surface over a retained QImage, which the window only blits. The image has
// device pixels (logical size x device pixel ratio), so text and lines stay sharp on a
// high-DPI screen. It grows with the window and never loses what was drawn.
//
// One painter stays open on the image from the first drawing operation until the picture is
// read (image(), windowPicture()) or replaced, so a sweep pass of a thousand lines does not
// set up a painter for each.
class ImageSurface : public Surface {
  public:
    static constexpr double kTwipsPerInch = 1440;

    explicit ImageSurface(double logicalDpi = 96, double devicePixelRatio = 1);
    ~ImageSurface() override;
    ImageSurface(const ImageSurface&) = delete;
    ImageSurface& operator=(const ImageSurface&) = delete;

    // The logical size of the window's client area in pixels.
    void resize(int logicalWidth, int logicalHeight);
    // true when the ratio changed: the picture then has to be drawn again.
    bool setDevicePixelRatio(double ratio);
    QColor backColor() const { return backColor_; }
    // Ends the painting in progress, so the picture can be copied or shown.
    const QImage& image() const;
    // The picture of the current client area (the image may be larger after a shrink).
    QImage windowPicture() const;
    // Called with the logical-pixel rectangle each operation changed.
    void setOnChanged(std::function<void(const QRect&)> handler) {
        onChanged_ = std::move(handler);
    }

    double twipsPerLogicalPixel() const { return kTwipsPerInch / logicalDpi_; }
    int toDevice(double twips) const;

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
    float scaleWidth() const override;
    float scaleHeight() const override;

    // The font of Surface::setFont, unsmoothed; old Windows face names resolve to a sans serif.
    static QFont makeFont(const std::string& name, double points, bool bold);

  private:
    // A line as last drawn, in device pixels and colour.
    struct DrawnLine {
        QPoint a;
        QPoint b;
        QRgb colour;
        bool operator==(const DrawnLine&) const = default;
    };
    // A text laid out once for the current font, with its advance in device pixels.
    struct PreparedText {
        QStaticText text;
        int advance = 0;
    };

    void ensureImageCovers(int deviceWidth, int deviceHeight);
    // The part of a level or upright span within the image from its first to its last pixel
    // that is not `colour`; empty when there is none.
    QRect differingPart(const QRect& span, QRgb colour) const;
    void changed(const QRect& deviceRect);
    double deviceScale() const { return logicalDpi_ * dpr_ / kTwipsPerInch; }
    QPainter& painter();
    void usePen(QRgb colour);
    void endPainting() const;
    const QFontMetrics& printMetrics();
    const PreparedText& prepared(std::string_view text);
    void fontOrResolutionChanged();

    double logicalDpi_;
    double dpr_;
    int logicalWidth_ = 0;
    int logicalHeight_ = 0;
    QImage image_;
    const QColor backColor_{0xF0, 0xF0, 0xF0};
    Colour fore_ = 0;
    QFont font_;
    double x_ = 0;
    double y_ = 0;
    std::function<void(const QRect&)> onChanged_;
    // Declared after image_: the painter must end before the image goes.
    mutable std::optional<QPainter> painter_;
    std::optional<QRgb> penColour_;  // the open painter's pen
    bool painterHasFont_ = false;
    std::optional<QFontMetrics> printMetrics_;  // of font_ on the image
    // Shaping a text costs more than drawing it, and the readouts print the same few texts on
    // every sweep pass; bounded by clearing it when full.
    std::unordered_map<std::string, PreparedText> preparedTexts_;
    double staticTextDrop_ = 0;  // where a static text's top lies below print()'s text position
    // The last operation, when it was a line: the same line in the same colour right after
    // it changes no pixel (the trace draws each inner segment twice in a row).
    std::optional<DrawnLine> lastLine_;
};

}  // namespace kv
