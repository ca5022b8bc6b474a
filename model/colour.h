// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace kv {

// A colour as the settings store keeps it: 0x00BBGGRR, red in the low byte.
using Colour = std::uint32_t;

constexpr Colour rgbColour(int r, int g, int b) {
    return static_cast<Colour>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int redOf(Colour c) {
    return static_cast<int>(c & 0xFF);
}
constexpr int greenOf(Colour c) {
    return static_cast<int>((c >> 8) & 0xFF);
}
constexpr int blueOf(Colour c) {
    return static_cast<int>((c >> 16) & 0xFF);
}

// The colour as an opaque 0xAARRGGBB word, the pixel form of the window's images.
constexpr std::uint32_t opaquePixel(Colour c) {
    return 0xFF000000u | static_cast<std::uint32_t>(redOf(c) << 16 | greenOf(c) << 8 | blueOf(c));
}

}  // namespace kv
