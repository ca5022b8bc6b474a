// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>

#include "colour.h"

namespace kv {

inline QColor toQColor(Colour c) {
    return QColor(redOf(c), greenOf(c), blueOf(c));
}

inline Colour fromQColor(const QColor& c) {
    return rgbColour(c.red(), c.green(), c.blue());
}

}  // namespace kv
