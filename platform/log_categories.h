#pragma once

#include <QLoggingCategory>

// kv3710.serial is in serial_log.h. Failures are warnings and show by default; the informational
// messages are off unless turned on, e.g. QT_LOGGING_RULES="kv3710.*.info=true".
Q_DECLARE_LOGGING_CATEGORY(lcRadio)
Q_DECLARE_LOGGING_CATEGORY(lcSettings)
