// SPDX-License-Identifier: GPL-3.0-or-later
#include "site_radios.h"

#include <algorithm>
#include <cmath>

#include "number_text.h"
#include "spectrum_model.h"
#include "sweep_log.h"

namespace kv {

namespace {

// The sweeps per second are taken over this long a time.
constexpr std::int64_t kRateWindowMs = 10000;

}  // namespace

SiteRadio& SiteRadios::entry(std::string_view name) {
    const auto at =
        std::lower_bound(radios_.begin(), radios_.end(), name,
                         [](const SiteRadio& r, std::string_view n) { return r.name < n; });
    if (at != radios_.end() && at->name == name) return *at;
    SiteRadio radio;
    radio.name = std::string(name);
    return *radios_.insert(at, std::move(radio));
}

const SiteRadio* SiteRadios::find(std::string_view name) const {
    const auto at = std::find_if(radios_.begin(), radios_.end(),
                                 [name](const SiteRadio& r) { return r.name == name; });
    return at == radios_.end() ? nullptr : &*at;
}

void SiteRadios::status(std::string_view name, std::string_view payload) {
    using Status = SiteRadio::Status;
    entry(name).status = payload == "online"    ? Status::Online
                         : payload == "offline" ? Status::Offline
                                                : Status::Unknown;
}

std::optional<std::uint64_t> SiteRadios::sweep(std::string_view name, const SweepMessage& message,
                                               std::int64_t nowMs) {
    SiteRadio& radio = entry(name);
    if (radio.swept && message.seq == radio.seq) return std::nullopt;
    const std::uint64_t missed =
        radio.swept && message.seq > radio.seq ? message.seq - radio.seq - 1 : 0;
    radio.swept = true;
    radio.seq = message.seq;
    radio.began = message.began;
    radio.band = message.band;
    radio.arrivals.push_back(nowMs);
    while (radio.arrivals.front() < nowMs - kRateWindowMs) radio.arrivals.pop_front();
    return missed;
}

double SiteRadios::sweepsPerSecond(const SiteRadio& radio) {
    if (radio.arrivals.size() < 2) return 0;
    const auto ms = radio.arrivals.back() - radio.arrivals.front();
    return ms > 0
               ? 1000.0 * static_cast<double>(radio.arrivals.size() - 1) / static_cast<double>(ms)
               : 0;
}

std::string SiteRadios::ageText(std::chrono::system_clock::time_point began,
                                std::chrono::system_clock::time_point now) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now - began).count();
    return fixedText(static_cast<double>(std::max<std::int64_t>(ms, 0)) / 1000.0, 1) + " s";
}

std::vector<std::string> SiteRadios::columns(const SiteRadio& radio,
                                             std::chrono::system_clock::time_point now) {
    using Status = SiteRadio::Status;
    const char* state = radio.status == Status::Online    ? "online"
                        : radio.status == Status::Offline ? "offline"
                                                          : "unknown";
    if (!radio.swept) return {radio.name, state, "", "", "", ""};
    const LogBand hz = logBand(radio.band);
    return {radio.name,
            state,
            ageText(radio.began, now),
            fixedText(static_cast<double>(hz.hzLow) / 1e6, 3) + " \u2013 " +
                fixedText(static_cast<double>(hz.hzHigh) / 1e6, 3) + " MHz",
            std::to_string(radio.band.numberOfPoints),
            fixedText(sweepsPerSecond(radio), 1)};
}

std::vector<double> levelsOnBand(const Sweep& sweep, const SettingValues& band) {
    std::vector<double> levels(static_cast<std::size_t>(std::max<int>(band.numberOfPoints, 0)),
                               std::nan(""));
    const int count = static_cast<int>(sweep.levelsDb.size());
    if (count == 0) return levels;
    const double first = pointFrequency(sweep.band, 0);
    const double step = pointFrequency(sweep.band, 1) - first;
    for (std::size_t i = 0; i < levels.size(); ++i) {
        const double at = (pointFrequency(band, static_cast<int>(i)) - first) / step;
        // Half a step beyond either end still belongs to the end point.
        if (!(at > -0.5 && at < count - 0.5)) continue;
        levels[i] = sweep.levelsDb[static_cast<std::size_t>(std::lround(at))];
    }
    return levels;
}

}  // namespace kv
