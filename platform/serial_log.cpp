#include "serial_log.h"

namespace kv {

// Detail for diagnosis: the dialog and the logger show the user what matters.
Q_LOGGING_CATEGORY(lcSerial, "kv3710.serial", QtWarningMsg)

}  // namespace kv
