// SPDX-License-Identifier: GPL-3.0-or-later
#include "level_conversion.h"

#include "rounding.h"

namespace kv {

double levelFromReading(std::uint16_t raw) {
    // The voltage is kept in single precision, as the radio's scale was calibrated with it;
    // 1.2 V and above all read as the floor of the detector's range.
    constexpr float kCeilingVolts = 1.2f;
    float volts = static_cast<float>(raw / 1023.0 * 3.3);
    if (volts > kCeilingVolts) volts = kCeilingVolts;
    return roundHalfEven((1.2 - static_cast<double>(volts)) / 0.022 - 97);
}

}  // namespace kv
