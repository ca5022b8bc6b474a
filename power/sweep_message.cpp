// SPDX-License-Identifier: GPL-3.0-or-later
#include "sweep_message.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "sweep_log.h"

namespace kv::power {

bool isTopicCharacter(char c) {
    return c != '/' && c != '+' && c != '#' && static_cast<unsigned char>(c) > 0x20 && c != 0x7f;
}

std::string formatSweepMessage(const SettingValues& band,
                               std::chrono::system_clock::time_point begun, std::uint64_t seq,
                               int samples, std::span<const double> levelsDb) {
    const LogBand hz = logBand(band);
    std::string json;
    json.reserve(128 + levelsDb.size() * 8);
    json += R"({"time":")" + utcIsoTime(begun) + R"(","seq":)" + std::to_string(seq) +
            R"(,"hz_low":)" + std::to_string(hz.hzLow) + R"(,"hz_high":)" +
            std::to_string(hz.hzHigh) + R"(,"hz_step":)";
    appendLogDecimal(json, hz.hzStep);
    json += R"(,"samples":)" + std::to_string(samples) + R"(,"db":[)";
    for (std::size_t i = 0; i < levelsDb.size(); ++i) {
        if (i > 0) json += ',';
        appendLogDecimal(json, levelsDb[i]);
    }
    json += "]}";
    return json;
}

std::string formatAlarmMessage(const AlarmEvent& event) {
    std::string json = std::string(R"({"active":)") + (event.active ? "true" : "false") +
                       R"(,"since":")" + utcIsoTime(event.since) + R"(","peak_hz":)" +
                       std::to_string(std::llround(event.peakHz)) + R"(,"peak_db":)";
    appendLogDecimal(json, event.peakDb);
    json += R"(,"excess_db":)";
    appendLogDecimal(json, event.excessDb);
    json += R"(,"points":[)";
    for (std::size_t i = 0; i < event.points.size(); ++i)
        json += (i > 0 ? "," : "") + std::to_string(event.points[i]);
    json += R"(],"occupancy":[)";
    for (std::size_t i = 0; i < event.occupancy.size(); ++i) {
        if (i > 0) json += ',';
        appendLogDecimal(json, event.occupancy[i]);
    }
    json += "]}";
    return json;
}

std::string defaultRadioId(const std::vector<SerialDevice>& devices, const std::string& devicePath,
                           const std::string& hostName) {
    const SerialDevice* device = findDevice(devices, devicePath);
    std::string id = device && !device->stablePath.empty() && !device->serialNumber.empty()
                         ? device->serialNumber
                         : hostName + '-' + std::filesystem::path(devicePath).filename().string();
    std::replace_if(
        id.begin(), id.end(), [](char c) { return !isTopicCharacter(c); }, '_');
    return id;
}

}  // namespace kv::power
