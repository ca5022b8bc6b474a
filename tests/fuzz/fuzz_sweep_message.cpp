// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as a sweep message from a site's broker: refused, or 1 to 256 finite levels on a
// band of as many points that the logger's own message of it reads back as.
#include <algorithm>
#include <cmath>

#include "fuzz_check.h"
#include "spectrum_model.h"
#include "sweep_message.h"

using namespace kv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto message = parseSweepMessage({reinterpret_cast<const char*>(data), size});
    if (!message) return 0;
    const std::vector<double>& levels = message->levelsDb;
    fuzzCheck(!levels.empty() && levels.size() <= kMaxPoints, "1 to 256 levels");
    fuzzCheck(std::all_of(levels.begin(), levels.end(), [](double l) { return std::isfinite(l); }),
              "levels are finite");
    fuzzCheck(message->band.numberOfPoints == static_cast<int>(levels.size()), "a point per level");
    const auto again = parseSweepMessage(
        formatSweepMessage(message->band, message->began, message->seq, message->samples, levels));
    fuzzCheck(again && again->band.numberOfPoints == message->band.numberOfPoints &&
                  again->seq == message->seq,
              "the logger's message of it reads back");
    return 0;
}
