// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "surface.h"

namespace kv {

// Records the lines, boxes and texts drawn, with their places and colours.
class RecordingSurface : public Surface {
  public:
    enum class Op { Line, FilledBox, Print };
    struct Call {
        Op op;
        double x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // for Print: x1,y1 is the text position
        Colour colour = 0;                      // the colour used (fore colour for Print)
        std::string text;
    };

    RecordingSurface(float width = 10755, float height = 8730) : width_(width), height_(height) {}

    void clear() override {}
    void line(double x1, double y1, double x2, double y2, Colour colour) override {
        calls.push_back({Op::Line, x1, y1, x2, y2, colour, {}});
    }
    void line(double x1, double y1, double x2, double y2) override { line(x1, y1, x2, y2, fore_); }
    void filledBox(double x1, double y1, double x2, double y2, Colour colour) override {
        calls.push_back({Op::FilledBox, x1, y1, x2, y2, colour, {}});
    }
    void setForeColor(Colour colour) override { fore_ = colour; }
    void setFont(const std::string&, double, bool) override {}
    void setCurrentX(double x) override { x_ = x; }
    void setCurrentY(double y) override { y_ = y; }
    void print(std::string_view text) override {
        calls.push_back({Op::Print, x_, y_, 0, 0, fore_, std::string(text)});
    }
    // A fixed-pitch stand-in: 90 twips a character, 195 twips high.
    double textWidth(std::string_view text) const override { return 90.0 * double(text.size()); }
    double textHeight(std::string_view) const override { return 195; }
    float scaleWidth() const override { return width_; }
    float scaleHeight() const override { return height_; }

    std::vector<Call> calls;
    std::vector<Call> callsOf(Op op) const {
        std::vector<Call> out;
        for (const auto& c : calls)
            if (c.op == op) out.push_back(c);
        return out;
    }

  private:
    float width_;
    float height_;
    Colour fore_ = 0;
    double x_ = 0;
    double y_ = 0;
};

}  // namespace kv
