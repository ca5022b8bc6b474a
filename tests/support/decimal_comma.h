// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <clocale>

// Switches this process's LC_NUMERIC to a locale with a decimal comma, as a German desktop has
// it, made by localedef into a folder of the process (LOCPATH then names it; the machine's
// locales stay as they are). Empty when done, else why it could not be.
inline QString useDecimalComma() {
    static const QTemporaryDir folder;
    qputenv("LOCPATH", folder.path().toLocal8Bit());
    QProcess localedef;
    localedef.start("localedef", {"-i", "de_DE", "-f", "UTF-8", folder.filePath("de_DE.UTF-8")});
    localedef.waitForFinished(-1);
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && *std::localeconv()->decimal_point == ',')
        return {};
    return "no locale with a decimal comma (localedef: " + localedef.errorString() + ' ' +
           QString::fromLocal8Bit(localedef.readAllStandardError()).trimmed() + ')';
}
