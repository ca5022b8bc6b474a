// SPDX-License-Identifier: GPL-3.0-or-later
#include "image_surface.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "qt_colour.h"

namespace kv {

QFont ImageSurface::makeFont(const std::string& name, double points, bool bold) {
    QFont f(QString::fromStdString(name));
    // Old Windows face names resolve to whatever sans-serif fontconfig offers.
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(points);
    f.setBold(bold);
    // Only unsmoothed glyphs are erased exactly by drawing them again in another colour.
    f.setStyleStrategy(QFont::NoAntialias);
    f.setHintingPreference(QFont::PreferFullHinting);
    return f;
}

namespace {

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
      font_(makeFont(kLabelFontName, kLabelFontPoints, false)) {}

ImageSurface::~ImageSurface() {
    endPainting();
}

QPainter& ImageSurface::painter() {
    if (!painter_) {
        painter_.emplace(&image_);
        painter_->setRenderHint(QPainter::Antialiasing, false);
        painter_->setRenderHint(QPainter::TextAntialiasing, false);
        penColour_.reset();
        painterHasFont_ = false;
    }
    return *painter_;
}

void ImageSurface::usePen(QRgb colour) {
    QPainter& p = painter();  // a new painter starts with no pen of ours
    if (penColour_ == colour) return;
    p.setPen(QPen(QColor(colour), 0));  // cosmetic one-pixel pen
    penColour_ = colour;
}

void ImageSurface::endPainting() const {
    painter_.reset();
}

const QImage& ImageSurface::image() const {
    endPainting();
    return image_;
}

const QFontMetrics& ImageSurface::printMetrics() {
    if (!printMetrics_) {
        printMetrics_.emplace(font_, &image_);
        // A static text hangs from its top at the fractional ascent; print() puts the
        // baseline a whole ascent below the text position.
        staticTextDrop_ = printMetrics_->ascent() - QFontMetricsF(font_, &image_).ascent();
    }
    return *printMetrics_;
}

void ImageSurface::fontOrResolutionChanged() {
    painterHasFont_ = false;
    printMetrics_.reset();
    preparedTexts_.clear();
}

const ImageSurface::PreparedText& ImageSurface::prepared(std::string_view text) {
    constexpr std::size_t kPreparedTextLimit = 64;
    std::string key(text);
    if (const auto found = preparedTexts_.find(key); found != preparedTexts_.end())
        return found->second;
    if (preparedTexts_.size() >= kPreparedTextLimit) preparedTexts_.clear();
    const QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    PreparedText entry{QStaticText(s), printMetrics().horizontalAdvance(s)};
    entry.text.setTextFormat(Qt::PlainText);
    entry.text.setPerformanceHint(QStaticText::AggressiveCaching);
    entry.text.prepare(QTransform(), font_);
    return preparedTexts_.emplace(std::move(key), std::move(entry)).first->second;
}

int ImageSurface::toDevice(double twips) const {
    return static_cast<int>(std::floor(twips * deviceScale() + 0.5));
}

void ImageSurface::ensureImageCovers(int deviceWidth, int deviceHeight) {
    if (deviceWidth <= image_.width() && deviceHeight <= image_.height()) return;
    endPainting();
    QImage grown(std::max(deviceWidth, image_.width()), std::max(deviceHeight, image_.height()),
                 QImage::Format_RGB32);
    grown.fill(backColor_);
    if (!image_.isNull()) {
        QPainter p(&grown);
        p.drawImage(0, 0, image_);
    }
    setResolution(grown, logicalDpi_ * dpr_);
    image_ = std::move(grown);
    fontOrResolutionChanged();
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
    endPainting();
    image_ = QImage();
    fontOrResolutionChanged();
    lastLine_.reset();
    resize(logicalWidth_, logicalHeight_);
    return true;
}

QImage ImageSurface::windowPicture() const {
    endPainting();
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
    endPainting();
    lastLine_.reset();
    image_.fill(backColor_);
    changed(image_.rect());
}

void ImageSurface::line(double x1, double y1, double x2, double y2, Colour colour) {
    if (image_.isNull()) return;
    const DrawnLine drawn{QPoint(toDevice(x1), toDevice(y1)), QPoint(toDevice(x2), toDevice(y2)),
                          toQColor(colour).rgb()};
    if (lastLine_ == drawn) return;
    lastLine_ = drawn;
    const QRect span(
        QPoint(std::min(drawn.a.x(), drawn.b.x()), std::min(drawn.a.y(), drawn.b.y())),
        QPoint(std::max(drawn.a.x(), drawn.b.x()), std::max(drawn.a.y(), drawn.b.y())));
    if (drawn.a.x() == drawn.b.x() || drawn.a.y() == drawn.b.y()) {
        // A level or upright line covers exactly its span, end points included; filling it
        // is several times faster than stepping along it pixel by pixel. Only the part from
        // the first to the last pixel of another colour is filled and reported: the grid,
        // drawn again over the whole plot after every pass, differs only where the old trace
        // was erased across it, and the window then repaints just there.
        const QRect differing = differingPart(span, drawn.colour);
        if (differing.isEmpty()) return;
        painter().fillRect(differing, QColor(drawn.colour));
        changed(differing);
        return;
    }
    usePen(drawn.colour);
    painter().drawLine(drawn.a, drawn.b);
    changed(span);
}

QRect ImageSurface::differingPart(const QRect& span, QRgb colour) const {
    const QRect r = span & image_.rect();
    if (r.isEmpty()) return {};
    // RGB32 holds every pixel as 0xffRRGGBB, as QColor::rgb() gives it. A row is contiguous; a
    // column steps by a whole row.
    const bool row = r.height() == 1;
    const qsizetype step = row ? 1 : image_.bytesPerLine() / qsizetype{sizeof(QRgb)};
    const QRgb* start = reinterpret_cast<const QRgb*>(image_.constScanLine(r.top())) + r.left();
    const qsizetype length = row ? r.width() : r.height();
    qsizetype first = 0;
    qsizetype last = length - 1;
    while (first <= last && start[first * step] == colour) ++first;
    if (first > last) return {};
    while (start[last * step] == colour) --last;
    return row ? QRect(r.left() + static_cast<int>(first), r.top(),
                       static_cast<int>(last - first + 1), 1)
               : QRect(r.left(), r.top() + static_cast<int>(first), 1,
                       static_cast<int>(last - first + 1));
}

void ImageSurface::line(double x1, double y1, double x2, double y2) {
    line(x1, y1, x2, y2, fore_);
}

void ImageSurface::filledBox(double x1, double y1, double x2, double y2, Colour colour) {
    if (image_.isNull()) return;
    const QRect r =
        QRect(QPoint(toDevice(x1), toDevice(y1)), QPoint(toDevice(x2), toDevice(y2))).normalized();
    lastLine_.reset();
    painter().fillRect(r, toQColor(colour));
    changed(r);
}

void ImageSurface::setFont(const std::string& name, double points, bool bold) {
    QFont font = makeFont(name, points, bold);
    if (font == font_) return;  // the display sets its one font before every full redraw
    font_ = std::move(font);
    fontOrResolutionChanged();
}

void ImageSurface::print(std::string_view text) {
    if (text.empty() || image_.isNull()) return;
    const QPoint at(toDevice(x_), toDevice(y_));
    lastLine_.reset();
    QPainter& p = painter();
    if (!painterHasFont_) {
        p.setFont(font_);
        painterHasFont_ = true;
    }
    usePen(toQColor(fore_).rgb());
    const QFontMetrics& fm = printMetrics();
    const PreparedText& prepared = this->prepared(text);
    // The same glyphs at the same places as drawText with the baseline a whole ascent down.
    p.drawStaticText(QPointF(at.x(), at.y() + staticTextDrop_), prepared.text);
    changed(QRect(at.x() - 2, at.y(), prepared.advance + 4, fm.height()));
}

double ImageSurface::textWidth(std::string_view text) const {
    const QFontMetricsF fm = metricsOn(image_, font_, logicalDpi_ * dpr_);
    const QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    return fm.horizontalAdvance(s) / deviceScale();
}

double ImageSurface::textHeight(std::string_view) const {
    const QFontMetricsF fm = metricsOn(image_, font_, logicalDpi_ * dpr_);
    return fm.height() / deviceScale();
}

}  // namespace kv
