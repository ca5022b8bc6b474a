// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <vector>

#include "sim_replay.h"
#include "sim_time.h"

namespace kv::sim {

// A fixed transmitter. Its level falls off parabolically in dB: 6 dB down at half the width
// from the centre, 24 dB down at the full width.
// With a schedule it is on only in sweeps [fromSweep, untilSweep), counted from 0 as the
// radio is tuned to channel 0 after a level was read, so that a test sees it at the same sweeps
// however slowly the machine runs; and `flutterDb` lower in every odd sweep.
struct Carrier {
    int channel = 0;
    double levelDb = -60.0;
    double widthChannels = 1.0;
    int fromSweep = 0;
    int untilSweep = std::numeric_limits<int>::max();
    double flutterDb = 0.0;
};

// A transmitter that jumps to another channel of [firstChannel, lastChannel] every period.
struct Hopper {
    std::chrono::milliseconds period{250};
    double levelDb = -55.0;
    int firstChannel = 0;
    int lastChannel = 49;
};

struct SceneConfig {
    double noiseFloorDb = -95.0;
    // Each reading's noise is uniform in floor +- spread.
    double noiseSpreadDb = 2.0;
    std::vector<Carrier> carriers;
    std::optional<Hopper> hopper;
    std::uint32_t seed = 1;
    // When set, the levels come from these sweep-log lines instead: one line per sweep,
    // looping at the end, no noise.
    std::vector<ReplayRow> replay;
};

// What the radio's antenna sees: the level of every channel over time.
class Scene {
  public:
    explicit Scene(SceneConfig config);

    // One reading of `channel` at `now`: noise, carriers and hopper added as powers, rounded
    // to whole dB (ties to even) and clamped to the reportable range. Draws exactly one value
    // from std::mt19937(seed) per call: noise = floor + spread * (2 * value / 2^32 - 1).
    // With a replay, the level of the current line instead, and no value drawn.
    int measure(int channel, SimTime now);

    // The radio was tuned to `channel`. With a replay, setting channel 0 after a level was
    // read starts the next line, and the sweep before tells how many channels a sweep has.
    void tuned(int channel);

    // The carriers' and hopper's summed level on `channel` in the current sweep (no noise);
    // nullopt when none reaches it.
    std::optional<double> signalDb(int channel, SimTime now) const;

    // Where the hopper is at `now`; nullopt without a hopper.
    std::optional<int> hopperChannel(SimTime now) const;

    const SceneConfig& config() const { return config_; }

  private:
    SceneConfig config_;
    std::mt19937 noise_;
    std::size_t replayRow_ = 0;
    int channelsPerSweep_ = 0;  // 0: not known yet
    int highestChannel_ = -1;   // of the levels read from the current line (or sweep)
    int sweep_ = 0;             // sweeps begun before the current one
};

}  // namespace kv::sim
