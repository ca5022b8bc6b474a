// SPDX-License-Identifier: GPL-3.0-or-later
#include "markers.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "rounding.h"

namespace kv {

std::optional<int> highestPoint(std::span<const TracePoint> points) {
    std::optional<int> found;
    std::int32_t best = std::numeric_limits<std::int32_t>::max();
    for (std::size_t i = 0; i < points.size(); ++i) {
        // A point not measured since the run started has no level to compare.
        if (points[i].yOut == 0) continue;
        if (points[i].yOut < best) {
            best = points[i].yOut;
            found = static_cast<int>(i);
        }
    }
    return found;
}

std::optional<int> highestPointNear(std::span<const TracePoint> points, int centre, int reach) {
    const int first = std::max(centre - reach, 0);
    const int last = std::min(centre + reach, static_cast<int>(points.size()) - 1);
    if (first > last) return std::nullopt;
    const auto found = highestPoint(points.subspan(static_cast<std::size_t>(first),
                                                   static_cast<std::size_t>(last - first + 1)));
    if (!found) return std::nullopt;
    return first + *found;
}

std::optional<int> nextPeakFrom(std::span<const TracePoint> points, int start,
                                SearchDirection direction) {
    const int n = static_cast<int>(points.size());
    if (start < 0 || start >= n) return std::nullopt;
    const int step = direction == SearchDirection::Lower ? -1 : 1;
    const int last = direction == SearchDirection::Lower ? 0 : n - 1;
    const auto level = [&](int i) { return points[static_cast<std::size_t>(i)].amplitudeDb; };
    // The extremes are kept as 16-bit whole dB; comparisons are between the floating level
    // and the whole extreme.
    const auto whole = [](double v) { return toInt16(v); };

    int minVal = whole(level(start));
    int maxVal = minVal;
    int minIdx = start;
    int maxIdx = start;
    bool rising = false;
    for (int i = start;; i += step) {
        const double a = level(i);
        if (!rising) {
            if (a < minVal) {
                minVal = whole(a);
                minIdx = i;
            } else if (a > maxVal) {
                maxVal = whole(a);
                maxIdx = i;
            }
            if (maxVal - minVal > 5) {
                if ((maxIdx - minIdx) * step > 0) {
                    rising = true;
                } else if (maxIdx != minIdx) {
                    // The maximum lies behind the minimum: the rise starts again from there.
                    maxIdx = minIdx;
                    maxVal = whole(level(minIdx));
                }
            }
        }
        if (rising) {
            if (a > maxVal) {
                maxVal = whole(a);
                maxIdx = i;
            } else if (maxVal - a > 5.0) {
                return maxIdx;
            }
        }
        if (i == last) break;
    }
    return std::nullopt;
}

}  // namespace kv
