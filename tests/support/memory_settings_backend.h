// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "settings_backend.h"

namespace kv {

// Keeps the values in memory; records the order of writes.
class MemorySettingsBackend : public SettingsBackend {
  public:
    std::optional<std::string> read(const std::string& section,
                                    const std::string& key) const override {
        const auto it = values.find({section, key});
        return it == values.end() ? std::nullopt : std::optional(it->second);
    }
    bool write(const std::string& section, const std::string& key,
               const std::string& value) override {
        values[{section, key}] = value;
        if (section == "Settings") writes.emplace_back(key, value);
        return true;
    }

    std::map<std::pair<std::string, std::string>, std::string> values;
    // (key, value) of section "Settings" in order; the window's place is kept apart.
    std::vector<std::pair<std::string, std::string>> writes;
};

}  // namespace kv
