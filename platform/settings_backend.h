// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kv {

// A per-user store of text values by section and key.
class SettingsBackend {
  public:
    virtual ~SettingsBackend() = default;
    virtual std::optional<std::string> read(const std::string& section,
                                            const std::string& key) const = 0;
    // false when the value could not be stored.
    virtual bool write(const std::string& section, const std::string& key,
                       const std::string& value) = 0;
    // Stores several values of one section together: a store that can replace its contents in
    // one step keeps either all of them or none (a crash in between leaves no mixture).
    // false when they could not be stored.
    // Where the values are kept, for the user's eyes (a file's path); empty when nowhere.
    virtual std::string location() const { return {}; }
    virtual bool writeAll(const std::string& section,
                          const std::vector<std::pair<std::string, std::string>>& values);
};

}  // namespace kv
