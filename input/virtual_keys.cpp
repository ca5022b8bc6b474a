// SPDX-License-Identifier: GPL-3.0-or-later
#include "virtual_keys.h"

namespace kv {

namespace {
// Qt::Key values.
constexpr int kQtKeyLeft = 0x01000012;
constexpr int kQtKeyRight = 0x01000014;
constexpr int kQtKeyPageUp = 0x01000016;
constexpr int kQtKeyPageDown = 0x01000017;
constexpr int kQtKeyF1 = 0x01000030;
constexpr int kQtKeyF7 = 0x01000036;
constexpr int kQtKeyPlus = 0x2B;
constexpr int kQtKeyMinus = 0x2D;
constexpr int kQtKeyA = 0x41;
constexpr int kQtKeyL = 0x4C;
constexpr int kQtKeyW = 0x57;
}  // namespace

std::optional<int> virtualKeyFor(int qtKey) {
    if (qtKey >= kQtKeyF1 && qtKey <= kQtKeyF7) return vk::kF1 + (qtKey - kQtKeyF1);
    if (qtKey == kQtKeyLeft) return vk::kLeft;
    if (qtKey == kQtKeyRight) return vk::kRight;
    // Letters as Qt gives them, whatever the shift state.
    if (qtKey == kQtKeyA) return vk::kA;
    if (qtKey == kQtKeyL) return vk::kL;
    if (qtKey == kQtKeyW) return vk::kW;
    if (qtKey == kQtKeyPlus) return vk::kAdd;
    if (qtKey == kQtKeyMinus) return vk::kSubtract;
    if (qtKey == kQtKeyPageUp) return vk::kPageUp;
    if (qtKey == kQtKeyPageDown) return vk::kPageDown;
    return std::nullopt;
}

}  // namespace kv
