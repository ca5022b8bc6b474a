// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

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

// The caption with what the window watches when that is not the radio, and what is going on.
inline std::string windowTitle(std::string_view source, bool recording, bool alarm) {
    std::string title;
    if (!source.empty()) title.append(source).append(" \u2013 ");
    title += kWindowTitle;
    if (recording) title += kRecordingTitleSuffix;
    if (alarm) title += kAlarmTitleSuffix;
    return title;
}

}  // namespace kv
