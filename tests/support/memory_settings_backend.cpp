#include "memory_settings_backend.h"

namespace kv {

std::optional<std::string> MemorySettingsBackend::read(const std::string& section,
                                                       const std::string& key) const {
    auto it = values.find({section, key});
    if (it == values.end()) return std::nullopt;
    return it->second;
}

bool MemorySettingsBackend::write(const std::string& section, const std::string& key,
                                  const std::string& value) {
    if (failWrites) return false;
    values[{section, key}] = value;
    if (section == "Settings") writes.emplace_back(key, value);
    return true;
}

}  // namespace kv
