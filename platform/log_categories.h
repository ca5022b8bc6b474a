// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLoggingCategory>

// Failures are warnings and show by default; the informational messages are off unless turned
// on, e.g. QT_LOGGING_RULES="kv3710.*.info=true".
Q_DECLARE_LOGGING_CATEGORY(lcRadio)
Q_DECLARE_LOGGING_CATEGORY(lcSettings)
// Serial devices: detection, numbering, failed opens and writes, a device that vanished.
Q_DECLARE_LOGGING_CATEGORY(lcSerial)
// Files the program writes on the user's command, other than the settings: a recording or an
// export that did not open or could not be written, a picture not saved or printed.
Q_DECLARE_LOGGING_CATEGORY(lcFiles)
// What the window shows of its state (its status line), at debug level.
Q_DECLARE_LOGGING_CATEGORY(lcWindow)
// A site's broker and the sweep messages read from it: an unreachable broker, a refused
// login, a message dropped.
Q_DECLARE_LOGGING_CATEGORY(lcSite)
