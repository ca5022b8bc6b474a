#pragma once

#include <QLoggingCategory>

namespace kv {

// Serial devices: detection, numbering and failed opens.
Q_DECLARE_LOGGING_CATEGORY(lcSerial)

}  // namespace kv
