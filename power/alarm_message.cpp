// SPDX-License-Identifier: GPL-3.0-or-later
#include "alarm_message.h"

#include <cmath>

#include "sweep_log.h"

namespace kv::power {

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

}  // namespace kv::power
