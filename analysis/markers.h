// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <span>

#include "shared_state.h"

namespace kv {

enum class SearchDirection { Lower, Higher };

// The point drawn highest (smallest yOut) among those measured since the run started (yOut
// not 0); the lowest index among equals. Nothing when no point is measured.
std::optional<int> highestPoint(std::span<const TracePoint> points);
// The same among the points at most `reach` indices from `centre`.
std::optional<int> highestPointNear(std::span<const TracePoint> points, int centre, int reach);

// The next peak from `start` in the direction: a maximum reached by a rise of more than
// 5 dB from the lowest level seen before it and confirmed by a fall of more than 5 dB after
// it. Nothing when no peak is confirmed before the end of the trace.
std::optional<int> nextPeakFrom(std::span<const TracePoint> points, int start,
                                SearchDirection direction);

}  // namespace kv
