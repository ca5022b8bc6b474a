// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <span>

#include "setting_values.h"
#include "shared_state.h"

namespace kv {

// A double click searches this many columns to either side of the point under the pointer.
inline constexpr int kDoubleClickReach = 5;

// The trace point under a pointer at (x, y), in twips on a surface of the given size: the one
// whose column centre lies nearest x (the lower index of two as near), while (x, y) lies inside
// the plot, edges included. Nothing outside the plot or without points.
std::optional<int> pointUnder(std::span<const TracePoint> points, const SettingValues& s,
                              double scaleWidth, double scaleHeight, double x, double y);

}  // namespace kv
