// SPDX-License-Identifier: GPL-3.0-or-later
// Any text as a limit mask: corners or a reason, never both; few corners, rising, read back the
// same from their own text; the limit between and beyond them within their levels.
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
    fuzzCheck(corners.size() <= kv::kMaxMaskCorners &&
                  std::ranges::is_sorted(corners, {}, &kv::LimitCorner::mhz),
              "few corners, rising");
    fuzzCheck(kv::parseMask(kv::formatMask(corners)).corners == corners, "read back the same");
    const auto [low, high] = std::ranges::minmax_element(corners, {}, &kv::LimitCorner::db);
    const kv::Limit limit = kv::Limit::mask(corners);
    for (double mhz : {anyMhz, corners.front().mhz - 1, corners.back().mhz + 1,
                       (corners.front().mhz + corners.back().mhz) / 2})
        fuzzCheck(std::isnan(mhz) || std::clamp(limit.at(mhz), low->db, high->db) == limit.at(mhz),
                  "within the corners");
    return 0;
}
