#include "port_names.h"

namespace kv {

std::string devicePathForPort(const SettingsBackend& store, int n) {
    if (n < 1 || n > kHighestPortNumber) return {};
    if (auto mapped = store.read("Ports", "COM" + std::to_string(n)); mapped && !mapped->empty())
        return *mapped;
    return "/dev/ttyS" + std::to_string(n - 1);
}

}  // namespace kv
