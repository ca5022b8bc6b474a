// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings_backend.h"

namespace kv {

bool SettingsBackend::writeAll(const std::string& section,
                               const std::vector<std::pair<std::string, std::string>>& values) {
    bool ok = true;
    for (const auto& [key, value] : values) ok = write(section, key, value) && ok;
    return ok;
}

}  // namespace kv
