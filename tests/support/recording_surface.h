#pragma once

#include <string>
#include <vector>

#include "surface.h"

namespace kv {

// Records every drawing call, for tests of drawing order and positions.
class RecordingSurface : public Surface {
  public:
    enum class Op { Clear, Line, FilledBox, Print, SetForeColor, SetFont };
    struct Call {
        Op op;
        double x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // for Print: x1,y1 is the text position
        Colour colour = 0;                      // the colour used (fore colour for Print)
        std::string text;                       // Print text or font name
        bool operator==(const Call&) const = default;
    };

    RecordingSurface(float width = 10755, float height = 8730) : width_(width), height_(height) {}

    void clear() override;
    void line(double x1, double y1, double x2, double y2, Colour colour) override;
    void line(double x1, double y1, double x2, double y2) override;
    void filledBox(double x1, double y1, double x2, double y2, Colour colour) override;
    void setForeColor(Colour colour) override;
    void setFont(const std::string& name, double points, bool bold) override;
    void setCurrentX(double x) override { x_ = x; }
    void setCurrentY(double y) override { y_ = y; }
    void print(std::string_view text) override;
    // A fixed-pitch stand-in: 90 twips a character, 195 twips high.
    double textWidth(std::string_view text) const override;
    double textHeight(std::string_view text) const override;
    float scaleWidth() const override { return width_; }
    float scaleHeight() const override { return height_; }

    void resize(float width, float height) {
        width_ = width;
        height_ = height;
    }
    std::vector<Call> calls;
    std::vector<Call> callsOf(Op op) const;
    std::vector<std::string> printedTexts() const;

    static constexpr double kCharWidth = 90;
    static constexpr double kTextHeight = 195;

  private:
    float width_;
    float height_;
    Colour fore_ = 0;
    double x_ = 0;
    double y_ = 0;
    std::string fontName_;
};

}  // namespace kv
