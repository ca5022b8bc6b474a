// SPDX-License-Identifier: GPL-3.0-or-later
#include "pointer_target.h"

#include <cmath>

#include "screen_geometry.h"

namespace kv {

std::optional<int> pointUnder(std::span<const TracePoint> points, const SettingValues& s,
                              double scaleWidth, double scaleHeight, double x, double y) {
    const double right = s.graphLeft + plotWidth(scaleWidth, s.graphLeft, s.graphRight);
    const double bottom = s.graphTop + plotHeight(scaleHeight, s.graphTop, s.graphBottom);
    if (x < s.graphLeft || x > right || y < s.graphTop || y > bottom) return std::nullopt;
    std::optional<int> nearest;
    double distance = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const double d = std::fabs(points[i].xCenter - x);
        if (!nearest || d < distance) {
            nearest = static_cast<int>(i);
            distance = d;
        }
    }
    return nearest;
}

}  // namespace kv
