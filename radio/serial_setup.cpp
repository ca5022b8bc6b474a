// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial_setup.h"

#include <limits>

namespace kv {

std::string rateForBaud(const std::string& baud) {
    for (std::size_t i = 0; i < kRateList.size(); ++i)
        if (baud == std::to_string(i)) return std::string(kRateList[i]);
    return baud;
}

std::string prepareLineSettings(SettingValues& settings) {
    const std::string parity = settings.parity == 0 ? "n" : "";
    settings.data = "8";
    settings.stop = "1";
    return settings.baud + "," + parity + "," + settings.data + "," + settings.stop;
}

bool configureAndOpen(CommControl& comm, int port, const std::string& lineSettings) {
    // The stored 0-based number may be any 32-bit value; the largest has no 1-based number.
    if (port < 0 || port == std::numeric_limits<int>::max()) return false;
    if (!comm.setCommPort(port + 1)) return false;
    if (!comm.setSettings(lineSettings)) return false;
    if (!comm.portOpen() && !comm.setPortOpen(true)) return false;
    return true;
}

}  // namespace kv
