// SPDX-License-Identifier: GPL-3.0-or-later
#include "port_names.h"

namespace kv {

std::string portKey(int n) {
    return "COM" + std::to_string(n);
}

std::string onBoardPortPath(int n) {
    return "/dev/ttyS" + std::to_string(n - 1);
}

std::string devicePathForPort(const SettingsBackend& store, int n) {
    if (n < 1 || n > kHighestPortNumber) return {};
    if (auto mapped = store.read(kPortsSection, portKey(n)); mapped && !mapped->empty())
        return *mapped;
    return onBoardPortPath(n);
}

}  // namespace kv
