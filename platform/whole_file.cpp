// SPDX-License-Identifier: GPL-3.0-or-later
#include "whole_file.h"

#include <QSaveFile>

#include "log_categories.h"

namespace kv {

std::optional<std::string> writeWholeFile(const std::string& path, std::string_view contents) {
    QSaveFile file(QString::fromStdString(path));
    const auto size = static_cast<qint64>(contents.size());
    if (file.open(QIODevice::WriteOnly) && file.write(contents.data(), size) == size &&
        file.commit())
        return std::nullopt;
    const QString reason = file.errorString();
    qCWarning(lcFiles).noquote() << "could not write" << QString::fromStdString(path) << ':'
                                 << reason;
    return reason.toStdString();
}

}  // namespace kv
