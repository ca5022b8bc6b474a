// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "shared_state.h"

namespace kv {

// The trace as CSV text that a spreadsheet opens: the header "index, frequency_mhz, level_db",
// a line per point (the frequency the readouts give it, no level for a point not measured
// since the run started), then a comment line per marker shown, "# marker 1: " and the fields
// of its point. Numbers have a decimal point whatever the locale.
std::string traceCsv(const SharedState& state);

}  // namespace kv
