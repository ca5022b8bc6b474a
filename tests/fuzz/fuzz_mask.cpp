// SPDX-License-Identifier: GPL-3.0-or-later
// Any text as a limit mask: corners or a reason with its line, never both; the corners rise,
// are finite and few, read back the same from their own text, and the limit between and
// beyond them stays within their levels.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>

#include "fuzz_check.h"
#include "limit.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const double anyMhz = input.ConsumeFloatingPoint<double>();
    const kv::MaskLoad load = kv::parseMask(input.ConsumeRemainingBytesAsString());
    fuzzCheck(load.corners.empty() != load.error.empty(), "corners or a reason");
    if (load.corners.empty()) return 0;
    const auto& corners = load.corners;
    fuzzCheck(corners.size() <= kv::kMaxMaskCorners, "few corners");
    fuzzCheck(std::is_sorted(corners.begin(), corners.end(),
                             [](const auto& a, const auto& b) { return a.mhz < b.mhz; }),
              "corners rise");
    fuzzCheck(kv::parseMask(kv::formatMask(corners)).corners == corners, "read back the same");
    const auto [low, high] = std::minmax_element(
        corners.begin(), corners.end(), [](const auto& a, const auto& b) { return a.db < b.db; });
    const kv::Limit limit = kv::Limit::mask(corners);
    for (double mhz : {anyMhz, corners.front().mhz - 1, corners.back().mhz + 1,
                       (corners.front().mhz + corners.back().mhz) / 2}) {
        const double db = limit.at(mhz);
        fuzzCheck(std::isnan(mhz) || (db >= low->db && db <= high->db), "within the corners");
    }
    return 0;
}
