// SPDX-License-Identifier: GPL-3.0-or-later
#include "radio_id.h"

#include <algorithm>
#include <filesystem>

#include "mqtt_url.h"

namespace kv::power {

std::string defaultRadioId(const std::vector<SerialDevice>& devices, const std::string& devicePath,
                           const std::string& hostName) {
    const SerialDevice* device = findDevice(devices, devicePath);
    std::string id = device && !device->stablePath.empty() && !device->serialNumber.empty()
                         ? device->serialNumber
                         : hostName + '-' + std::filesystem::path(devicePath).filename().string();
    std::replace_if(
        id.begin(), id.end(), [](char c) { return !mqtt::isTopicCharacter(c); }, '_');
    return id;
}

}  // namespace kv::power
