// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

namespace kv {

// The keyboard's virtual-key codes that the key commands act on.
namespace vk {
inline constexpr int kPageUp = 33;
inline constexpr int kPageDown = 34;
inline constexpr int kLeft = 37;
inline constexpr int kRight = 39;
inline constexpr int kF1 = 112;
inline constexpr int kF2 = 113;
inline constexpr int kF3 = 114;
inline constexpr int kF4 = 115;
inline constexpr int kF5 = 116;
inline constexpr int kF6 = 117;
inline constexpr int kF7 = 118;
inline constexpr int kA = 0x41;
inline constexpr int kL = 0x4C;
inline constexpr int kW = 0x57;
inline constexpr int kAdd = 0x6B;
inline constexpr int kSubtract = 0x6D;
}  // namespace vk

// The virtual-key code for a Qt::Key value (F1..F7, Left, Right, Page Up, Page Down, A, L, W, +
// and -), or nothing
// for any other key. Qt key values are plain ints, so this needs no Qt header.
std::optional<int> virtualKeyFor(int qtKey);

}  // namespace kv
