#include "serial_log.h"

namespace kv {

Q_LOGGING_CATEGORY(lcSerial, "kv3710.serial")

}  // namespace kv
