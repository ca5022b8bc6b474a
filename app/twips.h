// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace kv {

// Dialog layouts are given in twips; at 96 DPI a logical pixel is 15 twips.
inline constexpr int kTwipsPerPixel = 15;

constexpr int twipsToPixels(int twips) {
    return (twips + (twips >= 0 ? kTwipsPerPixel / 2 : -(kTwipsPerPixel / 2))) / kTwipsPerPixel;
}

}  // namespace kv
