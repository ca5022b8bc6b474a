// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "settings_backend.h"

namespace kv {

inline constexpr int kHighestPortNumber = 255;
// The ports the port list offers, COM1 to COM16; numbers are handed out among these.
inline constexpr int kListedPortCount = 16;
inline constexpr const char* kPortsSection = "Ports";

// The "Ports" section's key of port n: "COM<n>".
std::string portKey(int n);
// The n-th on-board serial port, /dev/ttyS<n-1>.
std::string onBoardPortPath(int n);

// The device behind port n (1-based): the "Ports" section's key "COM<n>" when it holds a
// path (a device, a pseudo-terminal or a link to one), else the n-th on-board serial port
// /dev/ttyS<n-1>. Empty for a number outside 1..kHighestPortNumber.
std::string devicePathForPort(const SettingsBackend& store, int n);

}  // namespace kv
