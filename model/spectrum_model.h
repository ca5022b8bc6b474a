// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "shared_state.h"

namespace kv {

// The levels the plot's height shows, from Amplitude at the top down.
inline constexpr double kLevelSpanDb = 70;

// A point's index travels to the radio as its one-byte channel number: at most 256 points,
// the last on channel 255.
inline constexpr int kMaxPoints = 256;
inline constexpr int kHighestChannel = kMaxPoints - 1;

// The points a sweep, a key or a drawing may use: the settings' count, never negative and
// never more than both trace arrays hold.
int usablePointCount(const SharedState& state);

// The frequency (MHz) that the display assigns to trace point i.
double pointFrequency(const SettingValues& s, int i);

// The level the trace holds for one measured (or averaged): one dB short of the graph's top
// at most, so that the trace never reaches the top edge. Only the picture is limited; the
// history, the recording and the logger keep the level as measured.
double levelOnGraph(const SettingValues& s, double level);

// Level (dB) to y on the graph of a drawing surface whose inner height is scaleHeight.
std::int32_t levelToY(const SettingValues& s, double level, float scaleHeight);

// Recomputes the columns of every trace point for a drawing surface of the given inner width.
void layoutTracePoints(SharedState& state, float scaleWidth);

// After a change of the window's size or layout: the columns for the given inner width and,
// for every point of Trace and PreviousTrace that has been measured, the plotted heights
// recomputed from its level for the given inner height; the marker symbols' last places
// follow. The trace is then drawn where a fresh start at this size would draw it, and nothing
// erased afterwards lies at a place of the old size.
void fitTraceToSize(SharedState& state, float scaleWidth, float scaleHeight);

// Creates both trace arrays with numberOfPoints zeroed points.
void createTraceArrays(SharedState& state);

// Moves a marker past the last usable point onto the last one (after the count has shrunk).
void clampMarkers(SharedState& state);

// Stores a measured level plotted at y for the point, unless max hold keeps the stronger
// level; the point's previous position goes to previousTrace either way.
void storeMeasurement(SharedState& state, int point, double level, std::int32_t y);

}  // namespace kv
