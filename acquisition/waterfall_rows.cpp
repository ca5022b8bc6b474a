// SPDX-License-Identifier: GPL-3.0-or-later
#include "waterfall_rows.h"

#include <vector>

namespace kv {

const RowTime* rowTimeNamed(std::string_view name) {
    for (const RowTime& rowTime : kRowTimes)
        if (rowTime.name == name) return &rowTime;
    return nullptr;
}

WaterfallRows::WaterfallRows(const SweepHistory& sweeps) : sweeps_(sweeps) {}

void WaterfallRows::setRowTime(const RowTime& rowTime) {
    rowTime_ = rowTime;
    clear();
    std::vector<double> levels;
    for (std::size_t back = sweeps_.size(); back-- > 0;) {
        const auto held = sweeps_.levels(back);
        levels.assign(held.begin(), held.end());
        add(sweeps_.begun(back), levels);
    }
}

void WaterfallRows::clear() {
    rows_.clear();
    combiner_.clear();
}

bool WaterfallRows::add(const LineTime& begun, std::span<const double> levelsDb) {
    if (rowTime_.seconds <= 0) {
        rows_.add(begun, levelsDb);
        return true;
    }
    LineTime start = begun;
    start.second -= start.second % rowTime_.seconds;
    const std::int64_t seconds = lineSeconds(start);
    const bool begins = combiner_.samples() == 0 || seconds != newestStart_ ||
                        levelsDb.size() != rows_.points() || rows_.size() == 0;
    if (begins) {
        combiner_ = IntervalCombiner(levelsDb.size(), rowTime_.mode);
        newestStart_ = seconds;
    }
    combiner_.add(levelsDb);
    const std::vector<double> combined = combiner_.levels();
    if (begins)
        rows_.add(start, combined);
    else
        rows_.replaceNewest(combined);
    return begins;
}

}  // namespace kv
