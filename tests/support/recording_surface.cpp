#include "recording_surface.h"

namespace kv {

void RecordingSurface::clear() {
    calls.push_back({Op::Clear, 0, 0, 0, 0, 0, {}});
}

void RecordingSurface::line(double x1, double y1, double x2, double y2, Colour colour) {
    calls.push_back({Op::Line, x1, y1, x2, y2, colour, {}});
}

void RecordingSurface::line(double x1, double y1, double x2, double y2) {
    line(x1, y1, x2, y2, fore_);
}

void RecordingSurface::filledBox(double x1, double y1, double x2, double y2, Colour colour) {
    calls.push_back({Op::FilledBox, x1, y1, x2, y2, colour, {}});
}

void RecordingSurface::setForeColor(Colour colour) {
    fore_ = colour;
    calls.push_back({Op::SetForeColor, 0, 0, 0, 0, colour, {}});
}

void RecordingSurface::setFont(const std::string& name, double points, bool bold) {
    fontName_ = name;
    calls.push_back({Op::SetFont, points, bold ? 1.0 : 0.0, 0, 0, 0, name});
}

void RecordingSurface::print(std::string_view text) {
    calls.push_back({Op::Print, x_, y_, 0, 0, fore_, std::string(text)});
}

double RecordingSurface::textWidth(std::string_view text) const {
    return kCharWidth * static_cast<double>(text.size());
}

double RecordingSurface::textHeight(std::string_view) const {
    return kTextHeight;
}

std::vector<RecordingSurface::Call> RecordingSurface::callsOf(Op op) const {
    std::vector<Call> out;
    for (const auto& c : calls)
        if (c.op == op) out.push_back(c);
    return out;
}

std::vector<std::string> RecordingSurface::printedTexts() const {
    std::vector<std::string> out;
    for (const auto& c : calls)
        if (c.op == Op::Print) out.push_back(c.text);
    return out;
}

}  // namespace kv
