// SPDX-License-Identifier: GPL-3.0-or-later
// Any text as a sweep log for kv3710-sim --replay: rows or an error, finite levels, every
// channel of a sweep of any count takes a level of its row, within the radio's range.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <climits>
#include <cmath>

#include "fuzz_check.h"
#include "sim_levels.h"
#include "sim_scene.h"

using namespace kv::sim;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const int anyCount = input.ConsumeIntegral<int>(), anyChannel = input.ConsumeIntegral<int>();
    const ReplayLoad load = parseReplay(input.ConsumeRemainingBytesAsString());
    fuzzCheck(load.rows.empty() != load.error.empty(), "rows or an error");
    for (const ReplayRow& row : load.rows) {
        const std::vector<double>& levels = row.levelsDb;
        fuzzCheck(!levels.empty() && row.stepHz > 0, "a row has levels and a step");
        fuzzCheck(
            std::all_of(levels.begin(), levels.end(), [](double l) { return std::isfinite(l); }),
            "levels are finite");
        for (int count : {0, 1, 50, 256, int(levels.size()), INT_MAX, -1, anyCount})
            for (int channel : {0, count / 2, count - (count > 0), anyChannel})
                fuzzCheck(
                    std::count(levels.begin(), levels.end(), replayLevel(row, channel, count)),
                    "a channel takes a level of its row");
    }
    if (load.rows.empty()) return 0;
    Scene scene(SceneConfig{.replay = load.rows});
    for (int sweep = 0; sweep < 2; ++sweep)
        for (int channel = 0; channel < std::clamp(anyCount, 1, 256); ++channel) {
            scene.tuned(channel);
            const int level = scene.measure(channel, {});
            fuzzCheck(level >= kMinLevelDb && level <= kMaxLevelDb, "levels the radio can report");
        }
    return 0;
}
