// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace kv {

// The main window's caption.
inline constexpr const char* kWindowTitle = "Tessaryn Spectrum Analyzer";
// Follows the caption while sweeps are being recorded.
inline constexpr const char* kRecordingTitleSuffix = " \u2014 recording";
// While the band breaks the limit.
inline constexpr const char* kAlarmTitleSuffix = " \u2014 ALARM";
// The program's title: the caption of its message boxes and, with ".exe", the name its
// settings file is kept under.
inline constexpr const char* kProgramTitle = "KV3710 Spectrum Analyzer";

}  // namespace kv
