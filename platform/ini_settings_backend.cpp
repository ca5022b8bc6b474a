// SPDX-License-Identifier: GPL-3.0-or-later
#include "ini_settings_backend.h"

#include <QStringList>

#include "titles.h"

namespace kv {

IniSettingsBackend::IniSettingsBackend()
    : settings_(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                            QString::fromLatin1(kProgramTitle) + ".exe",
                                            QString())) {}

IniSettingsBackend::IniSettingsBackend(const QString& path)
    : settings_(std::make_unique<QSettings>(path, QSettings::IniFormat)) {}

namespace {
QString keyPath(const std::string& section, const std::string& key) {
    return QString::fromStdString(section) + QLatin1Char('/') + QString::fromStdString(key);
}
}  // namespace

std::optional<std::string> IniSettingsBackend::read(const std::string& section,
                                                    const std::string& key) const {
    // QSettings parses a section when a key of it is first read, and after a damaged section
    // head (such as "[Settings\ ") that misses keys a parse of the whole file finds; a save
    // parses the whole file and writes them back. Parsed whole, a read sees what a save keeps.
    (void)settings_->allKeys();
    const QVariant v = settings_->value(keyPath(section, key));
    if (!v.isValid()) return std::nullopt;
    // An unquoted value with commas comes back as a list, of variants when an item starts with
    // '@' (as a save writes an item holding a NUL); the store holds text.
    if (v.metaType().id() == QMetaType::QStringList || v.metaType().id() == QMetaType::QVariantList)
        return v.toStringList().join(QLatin1Char(',')).toStdString();
    return v.toString().toStdString();
}

bool IniSettingsBackend::write(const std::string& section, const std::string& key,
                               const std::string& value) {
    settings_->setValue(keyPath(section, key), QString::fromStdString(value));
    // QSettings replaces the file through a temporary one, so a crash never leaves it half
    // written; syncing at once keeps each write as durable as a registry write.
    settings_->sync();
    // A format error comes from reading a damaged file, which the sync has just replaced.
    return settings_->status() != QSettings::AccessError;
}

bool IniSettingsBackend::writeAll(const std::string& section,
                                  const std::vector<std::pair<std::string, std::string>>& values) {
    for (const auto& [key, value] : values)
        settings_->setValue(keyPath(section, key), QString::fromStdString(value));
    // One sync, so the file is replaced once, with all of the values.
    settings_->sync();
    // A format error comes from reading a damaged file, which the sync has just replaced.
    return settings_->status() != QSettings::AccessError;
}

}  // namespace kv
