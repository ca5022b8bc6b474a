#include "image_surface.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace kv {

namespace {
QFont makeFont(const QString& family, double points, bool bold) {
    QFont f(family);
    // Old Windows face names resolve to whatever sans-serif fontconfig offers.
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(points);
    f.setBold(bold);
    // Only unsmoothed glyphs are erased exactly by drawing them again in another colour.
    f.setStyleStrategy(QFont::NoAntialias);
    f.setHintingPreference(QFont::PreferFullHinting);
    return f;
}

void setResolution(QImage& image, double dotsPerInch) {
    const int dpm = static_cast<int>(std::lround(dotsPerInch / 0.0254));
    image.setDotsPerMeterX(dpm);
    image.setDotsPerMeterY(dpm);
}

// Text is measured at the image's resolution, also before the window has given it a size.
QFontMetricsF metricsOn(const QImage& image, const QFont& font, double dotsPerInch) {
    if (!image.isNull()) return QFontMetricsF(font, &image);
    QImage probe(1, 1, QImage::Format_RGB32);
    setResolution(probe, dotsPerInch);
    return QFontMetricsF(font, &probe);
}
}  // namespace

ImageSurface::ImageSurface(double logicalDpi, double devicePixelRatio)
    : logicalDpi_(logicalDpi > 0 ? logicalDpi : 96),
      dpr_(devicePixelRatio > 0 ? devicePixelRatio : 1),
      font_(makeFont(QStringLiteral("MS Sans Serif"), 8, false)) {}

QColor ImageSurface::toQColor(Colour c) { return QColor(redOf(c), greenOf(c), blueOf(c)); }

int ImageSurface::toDevice(double twips) const {
    return static_cast<int>(std::floor(twips * deviceScale() + 0.5));
}

void ImageSurface::ensureImageCovers(int deviceWidth, int deviceHeight) {
    if (deviceWidth <= image_.width() && deviceHeight <= image_.height()) return;
    QImage grown(std::max(deviceWidth, image_.width()), std::max(deviceHeight, image_.height()),
                 QImage::Format_RGB32);
    grown.fill(backColor_);
    if (!image_.isNull()) {
        QPainter p(&grown);
        p.drawImage(0, 0, image_);
    }
    setResolution(grown, logicalDpi_ * dpr_);
    image_ = std::move(grown);
}

void ImageSurface::resize(int logicalWidth, int logicalHeight) {
    logicalWidth_ = std::max(0, logicalWidth);
    logicalHeight_ = std::max(0, logicalHeight);
    ensureImageCovers(static_cast<int>(std::ceil(logicalWidth_ * dpr_)),
                      static_cast<int>(std::ceil(logicalHeight_ * dpr_)));
}

bool ImageSurface::setDevicePixelRatio(double ratio) {
    if (ratio <= 0 || ratio == dpr_) return false;
    // The picture is redrawn in full after a change of screen; start from a clean image.
    dpr_ = ratio;
    image_ = QImage();
    resize(logicalWidth_, logicalHeight_);
    return true;
}

QImage ImageSurface::windowPicture() const {
    return image_.copy(0, 0, static_cast<int>(std::ceil(logicalWidth_ * dpr_)),
                       static_cast<int>(std::ceil(logicalHeight_ * dpr_)));
}

float ImageSurface::scaleWidth() const {
    return static_cast<float>(logicalWidth_ * twipsPerLogicalPixel());
}

float ImageSurface::scaleHeight() const {
    return static_cast<float>(logicalHeight_ * twipsPerLogicalPixel());
}

void ImageSurface::changed(const QRect& deviceRect) {
    if (!onChanged_) return;
    const QRect r = deviceRect.normalized();
    // Logical pixels, rounded outwards.
    const int l = static_cast<int>(std::floor(r.left() / dpr_)) - 1;
    const int t = static_cast<int>(std::floor(r.top() / dpr_)) - 1;
    const int rr = static_cast<int>(std::ceil((r.right() + 1) / dpr_)) + 1;
    const int b = static_cast<int>(std::ceil((r.bottom() + 1) / dpr_)) + 1;
    onChanged_(QRect(QPoint(l, t), QPoint(rr, b)));
}

void ImageSurface::clear() {
    image_.fill(backColor_);
    changed(image_.rect());
}

void ImageSurface::line(double x1, double y1, double x2, double y2, Colour colour) {
    if (image_.isNull()) return;
    const QPoint a(toDevice(x1), toDevice(y1));
    const QPoint b(toDevice(x2), toDevice(y2));
    QPainter p(&image_);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(toQColor(colour), 0));  // cosmetic one-pixel pen
    p.drawLine(a, b);
    changed(QRect(a, b));
}

void ImageSurface::line(double x1, double y1, double x2, double y2) {
    line(x1, y1, x2, y2, fore_);
}

void ImageSurface::filledBox(double x1, double y1, double x2, double y2, Colour colour) {
    if (image_.isNull()) return;
    const QRect r = QRect(QPoint(toDevice(x1), toDevice(y1)), QPoint(toDevice(x2), toDevice(y2)))
                        .normalized();
    QPainter p(&image_);
    p.fillRect(r, toQColor(colour));
    changed(r);
}

void ImageSurface::setFont(const std::string& name, double points, bool bold) {
    font_ = makeFont(QString::fromStdString(name), points, bold);
}

void ImageSurface::print(std::string_view text) {
    if (text.empty() || image_.isNull()) return;
    const QString s = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    const QPoint at(toDevice(x_), toDevice(y_));
    QPainter p(&image_);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setFont(font_);
    p.setPen(toQColor(fore_));
    const QFontMetrics fm(font_, &image_);
    p.drawText(at.x(), at.y() + fm.ascent(), s);
    changed(QRect(at.x() - 2, at.y(), fm.horizontalAdvance(s) + 4, fm.height()));
}

double ImageSurface::textWidth(std::string_view text) const {
    const QFontMetricsF fm = metricsOn(image_, font_, logicalDpi_ * dpr_);
    const QString s = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    return fm.horizontalAdvance(s) / deviceScale();
}

double ImageSurface::textHeight(std::string_view) const {
    const QFontMetricsF fm = metricsOn(image_, font_, logicalDpi_ * dpr_);
    return fm.height() / deviceScale();
}

}  // namespace kv
