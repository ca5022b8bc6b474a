// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

#include "colour.h"

namespace kv {

// The font every surface starts with; the display's labels and readouts are set in it too.
inline constexpr const char* kLabelFontName = "MS Sans Serif";
inline constexpr double kLabelFontPoints = 8;

// The main window's drawing surface, in twips (1440 per inch), origin top-left, y down.
// Whatever is drawn stays until drawn over or cleared. Lines and text are drawn without
// antialiasing, so drawing the same line or text again in another colour replaces exactly
// the same pixels.
class Surface {
  public:
    virtual ~Surface() = default;

    // Cls: the whole surface takes the window's own background colour.
    virtual void clear() = 0;
    virtual void line(double x1, double y1, double x2, double y2, Colour colour) = 0;
    // The same in the foreground colour.
    virtual void line(double x1, double y1, double x2, double y2) = 0;
    // The rectangle filled and outlined in the colour.
    virtual void filledBox(double x1, double y1, double x2, double y2, Colour colour) = 0;
    virtual void setForeColor(Colour colour) = 0;
    virtual void setFont(const std::string& name, double points, bool bold) = 0;
    virtual void setCurrentX(double x) = 0;
    virtual void setCurrentY(double y) = 0;
    // Draws the text with its top-left at the text position, glyphs only.
    virtual void print(std::string_view text) = 0;
    virtual double textWidth(std::string_view text) const = 0;
    virtual double textHeight(std::string_view text) const = 0;
    virtual float scaleWidth() const = 0;
    virtual float scaleHeight() const = 0;

    void printAt(double x, double y, std::string_view text) {
        setCurrentX(x);
        setCurrentY(y);
        print(text);
    }
};

}  // namespace kv
