// SPDX-License-Identifier: GPL-3.0-or-later
#include "log_categories.h"

Q_LOGGING_CATEGORY(lcRadio, "kv3710.radio", QtWarningMsg)
Q_LOGGING_CATEGORY(lcSettings, "kv3710.settings", QtWarningMsg)
Q_LOGGING_CATEGORY(lcSerial, "kv3710.serial", QtWarningMsg)
Q_LOGGING_CATEGORY(lcFiles, "kv3710.files", QtWarningMsg)
Q_LOGGING_CATEGORY(lcWindow, "kv3710.window", QtWarningMsg)
Q_LOGGING_CATEGORY(lcSite, "kv3710.site", QtWarningMsg)
