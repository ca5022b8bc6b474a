// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "serial_ports.h"

namespace kv::power {

// The radio's name in the topics when --radio-id gives none: the serial number in the
// by-id name of the device at `devicePath`, else "<host>-<the device's file name>", with
// other characters as '_'.
std::string defaultRadioId(const std::vector<SerialDevice>& devices, const std::string& devicePath,
                           const std::string& hostName);

}  // namespace kv::power
