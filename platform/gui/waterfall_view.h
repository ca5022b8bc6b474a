// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>

#include "image_surface.h"

namespace kv {

// The waterfall strip: rows in a retained image used as a ring, the newest on top, and a
// colour scale below them. A new row is written over the oldest in place and paintEvent
// blits the ring in two parts, so a sweep costs one row, never the whole history. Its top
// edge can be dragged to make it taller or lower.
class WaterfallView : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kLeastRows = 24;  // logical pixels of rows at the least height

    explicit WaterfallView(double logicalDpi, QWidget* parent = nullptr);

    // The ring anew for the current size, every row in `fill`; the scale band resized too.
    void resetRows(std::uint32_t fill);
    int ringRows() const { return ring_.height(); }
    // The next row, which is now the newest, to be filled in (0xFFRRGGBB pixels).
    std::span<std::uint32_t> newRow();
    // The newest row again, to be filled in anew.
    std::span<std::uint32_t> newestRow();
    // The height of a time label in rows of the ring.
    int labelRows() const;
    // A text on the newest row, hanging from it over older rows, on a box of `back`.
    void labelNewestRow(std::string_view text, double xTwips, std::uint32_t fore,
                        std::uint32_t back);
    // The band below the rows that the colour scale is drawn on, as wide as the strip.
    ImageSurface& scale() { return scale_; }
    // Its height in logical pixels, which the strip keeps below its rows.
    void setScaleHeight(int height);
    // Logical pixels of the smallest height that leaves rows to see.
    int leastHeight() const { return scaleHeight_ + kLeastRows; }

    // The strip needs drawing from its data again (a new size).
    std::function<void()> onResized;
    // The top edge was dragged: the height asked for.
    std::function<void(int height)> onHeightDragged;
    // A press on the rows and the pointer's way from there: the ring rows from the top where
    // it began and where it is, and whether the button was let go.
    std::function<void(int fromRow, int toRow, bool released)> onRowsDragged;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    int rowsHeight() const { return std::max(0, height() - scaleHeight_); }
    // The ring row from the top at a height in logical pixels, within the ring.
    int ringRowAt(double y) const;

    QImage ring_;
    int newest_ = 0;  // the ring's row that shows at the top
    ImageSurface scale_;
    int scaleHeight_ = 0;
    std::optional<int> dragFromY_;  // global y where a drag of the top edge began
    int dragFromHeight_ = 0;
    std::optional<int> rowsFrom_;  // the ring row from the top where a press on the rows began
};

}  // namespace kv
