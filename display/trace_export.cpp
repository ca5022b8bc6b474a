// SPDX-License-Identifier: GPL-3.0-or-later
#include "trace_export.h"

#include "number_text.h"
#include "spectrum_model.h"

namespace kv {

namespace {

// Six decimals of MHz: every hertz.
constexpr int kFrequencyDecimals = 6;
constexpr int kLevelDecimals = 2;

std::string pointFields(const SharedState& state, int i) {
    const TracePoint& p = state.trace[static_cast<std::size_t>(i)];
    std::string fields = std::to_string(i) + ", " +
                         fixedText(pointFrequency(state.settings, i), kFrequencyDecimals) + ", ";
    if (p.yOut != 0) fields += fixedText(p.amplitudeDb, kLevelDecimals);
    return fields;
}

}  // namespace

std::string traceCsv(const SharedState& state) {
    std::string csv = "index, frequency_mhz, level_db\n";
    const int n = usablePointCount(state);
    for (int i = 0; i < n; ++i) csv += pointFields(state, i) + '\n';
    const auto& m = state.markers;
    for (int k = 0; k <= (m.markerDelta ? 1 : 0); ++k) {
        const int index = m.marker[static_cast<std::size_t>(k)];
        if (index >= 0 && index < n)
            csv += "# marker " + std::to_string(k + 1) + ": " + pointFields(state, index) + '\n';
    }
    return csv;
}

}  // namespace kv
