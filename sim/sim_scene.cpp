// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim_scene.h"

#include <algorithm>
#include <cmath>

#include "sim_levels.h"

namespace kv::sim {

namespace {

constexpr double kUnitScale = 1.0 / 4294967296.0;  // mt19937 output to [0, 1)
constexpr double kDbDownAtHalfWidth = 6.0;
// Below this a contribution changes no rounded level.
constexpr double kNegligibleDb = -200.0;

double toPower(double db) {
    return std::pow(10.0, db / 10.0);
}

double carrierLevelDb(const Carrier& carrier, int channel) {
    const double halfWidth = std::max(carrier.widthChannels, 0.1) / 2.0;
    const double offset = (channel - carrier.channel) / halfWidth;
    return carrier.levelDb - kDbDownAtHalfWidth * offset * offset;
}

// A stateless mix of seed and hop number, so the hop sequence does not depend on how often
// the scene was read.
std::uint64_t mix(std::uint64_t value) {
    value += 0x9E3779B97F4A7C15ULL;
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ULL;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBULL;
    return value ^ (value >> 31);
}

}  // namespace

Scene::Scene(SceneConfig config) : config_(std::move(config)), noise_(config_.seed) {}

std::optional<int> Scene::hopperChannel(SimTime now) const {
    if (!config_.hopper) return std::nullopt;
    const Hopper& hopper = *config_.hopper;
    const auto period =
        std::max<std::int64_t>(std::chrono::duration_cast<SimTime>(hopper.period).count(), 1);
    const auto hop = static_cast<std::uint64_t>(std::max<std::int64_t>(now.count(), 0) / period);
    const int first = std::min(hopper.firstChannel, hopper.lastChannel);
    const int count = std::abs(hopper.lastChannel - hopper.firstChannel) + 1;
    const std::uint64_t seeded = (std::uint64_t{config_.seed} << 32) ^ hop;
    return first + static_cast<int>(mix(seeded) % static_cast<std::uint64_t>(count));
}

std::optional<double> Scene::signalDb(int channel, SimTime now) const {
    double power = 0.0;
    for (const Carrier& carrier : config_.carriers) {
        if (sweep_ < carrier.fromSweep || sweep_ >= carrier.untilSweep) continue;
        const double db =
            carrierLevelDb(carrier, channel) - (sweep_ % 2 == 1 ? carrier.flutterDb : 0.0);
        if (db > kNegligibleDb) power += toPower(db);
    }
    if (const auto hopChannel = hopperChannel(now)) {
        const double db = carrierLevelDb({*hopChannel, config_.hopper->levelDb, 1.0}, channel);
        if (db > kNegligibleDb) power += toPower(db);
    }
    if (power <= 0.0) return std::nullopt;
    return 10.0 * std::log10(power);
}

void Scene::tuned(int channel) {
    if (channel != 0 || highestChannel_ < 0) return;
    ++sweep_;
    channelsPerSweep_ = highestChannel_ + 1;
    highestChannel_ = -1;
    if (!config_.replay.empty()) replayRow_ = (replayRow_ + 1) % config_.replay.size();
}

int Scene::measure(int channel, SimTime now) {
    highestChannel_ = std::max(highestChannel_, channel);
    if (!config_.replay.empty()) {
        const double level =
            std::nearbyint(replayLevel(config_.replay[replayRow_], channel, channelsPerSweep_));
        return static_cast<int>(std::clamp(level, double{kMinLevelDb}, double{kMaxLevelDb}));
    }
    const double unit = static_cast<double>(noise_()) * kUnitScale;
    const double noiseDb = config_.noiseFloorDb + config_.noiseSpreadDb * (2.0 * unit - 1.0);
    double power = toPower(noiseDb);
    if (const auto signal = signalDb(channel, now)) power += toPower(*signal);
    const double level = std::nearbyint(10.0 * std::log10(power));
    return static_cast<int>(std::clamp(level, double{kMinLevelDb}, double{kMaxLevelDb}));
}

}  // namespace kv::sim
