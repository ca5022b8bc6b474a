// SPDX-License-Identifier: GPL-3.0-or-later
#include "virtual_keys.h"

namespace kv {

namespace {
// Qt::Key values.
constexpr int kQtKeyLeft = 0x01000012;
constexpr int kQtKeyRight = 0x01000014;
constexpr int kQtKeyF1 = 0x01000030;
constexpr int kQtKeyF7 = 0x01000036;
}  // namespace

std::optional<int> virtualKeyFor(int qtKey) {
    if (qtKey >= kQtKeyF1 && qtKey <= kQtKeyF7) return vk::kF1 + (qtKey - kQtKeyF1);
    if (qtKey == kQtKeyLeft) return vk::kLeft;
    if (qtKey == kQtKeyRight) return vk::kRight;
    return std::nullopt;
}

}  // namespace kv
