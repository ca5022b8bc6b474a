// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "setting_values.h"
#include "sweep_message.h"
#include "sweep_sink.h"

namespace kv {

// One radio of the site as its topics show it.
struct SiteRadio {
    enum class Status { Unknown, Online, Offline };
    std::string name;
    Status status = Status::Unknown;
    bool swept = false;  // a sweep of it has come; the fields below describe the newest
    std::chrono::system_clock::time_point began;
    SettingValues band;
    std::uint64_t seq = 0;
    std::deque<std::int64_t> arrivals;  // steady ms of the sweeps of the last few seconds
};

// The radios under a prefix, by name, from their retained status and the sweeps seen.
class SiteRadios {
  public:
    // The payload of `<prefix>/<name>/status`: "online", "offline", anything else unknown.
    void status(std::string_view name, std::string_view payload);
    // A sweep of `name` that came at `nowMs` on the steady clock: how many sweeps its `seq`
    // says were lost before it, or nothing for one seen already (a repeated delivery). A
    // `seq` lower than the last one is a restarted logger, which loses none.
    std::optional<std::uint64_t> sweep(std::string_view name, const SweepMessage& message,
                                       std::int64_t nowMs);
    void clear() { radios_.clear(); }

    // Sorted by name.
    const std::vector<SiteRadio>& radios() const { return radios_; }
    const SiteRadio* find(std::string_view name) const;

    // Sweeps a second over the last arrivals held, 0 with fewer than two.
    static double sweepsPerSecond(const SiteRadio& radio);
    // The columns the site's list shows: name, state, age of the last sweep, band, points,
    // sweeps per second.
    static std::vector<std::string> columns(const SiteRadio& radio,
                                            std::chrono::system_clock::time_point now);
    // "3.2 s" from `began` to `now`, never below 0.
    static std::string ageText(std::chrono::system_clock::time_point began,
                               std::chrono::system_clock::time_point now);

  private:
    SiteRadio& entry(std::string_view name);

    std::vector<SiteRadio> radios_;
};

// The levels of `sweep` at the points of `band`: each point takes the level of the sweep's
// point nearest to it in frequency, NaN where the sweep's band does not reach.
std::vector<double> levelsOnBand(const Sweep& sweep, const SettingValues& band);

}  // namespace kv
