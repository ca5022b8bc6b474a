// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "comm_control.h"
#include "setting_values.h"

namespace kv {

// The serial rates by their stored index.
inline constexpr std::array<std::string_view, 12> kRateList{"110",   "300",   "1200",  "2400",
                                                            "4800",  "9600",  "14400", "19200",
                                                            "28800", "38400", "57600", "115200"};

// A stored index "0".."11" becomes its rate text; any other text is kept as it is.
std::string rateForBaud(const std::string& baud);

// Sets Data to "8" and Stop to "1" and returns rate,parity,8,1 (parity "n" for Parity 0,
// empty otherwise).
std::string prepareLineSettings(SettingValues& settings);

// CommPort, Settings and open, as the window load and the serial port dialog's OK do them.
// false at the first step that fails; the port is then left as that step left it.
bool configureAndOpen(CommControl& comm, int port, const std::string& lineSettings);

}  // namespace kv
