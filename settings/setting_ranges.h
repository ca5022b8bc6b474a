// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

#include "setting_keys.h"

namespace kv {

// The values the program's editors give a key, as shown beside it: "1 to 256", "above 0", the
// range of its type for a whole-number key without one of its own; empty for any other key.
std::string settingRangeText(const SettingKey& key);

// Whether the key's variable lies in its range. Beyond their types, the point count is 1 to 256
// (the channel is one byte; the load holds a file to this too), the span above 0 and the grid
// divisions 1 to 50, the most whose labels can stand side by side.
bool settingInRange(const SettingKey& key, const SettingValues& values);

// The text read into a number key's variable as the load reads it, and checked against its range:
// the reason it is refused, `values` then left as they were, or nothing once it is in.
std::optional<std::string> takeSettingText(const SettingKey& key, const std::string& text,
                                           SettingValues& values);

}  // namespace kv
