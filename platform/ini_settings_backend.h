// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSettings>
#include <memory>

#include "settings_backend.h"

namespace kv {

// The per-user INI file: $XDG_CONFIG_HOME/KV3710 Spectrum Analyzer.exe.ini.
class IniSettingsBackend : public SettingsBackend {
  public:
    IniSettingsBackend();
    // A file at an explicit path (tests).
    explicit IniSettingsBackend(const QString& path);

    std::optional<std::string> read(const std::string& section,
                                    const std::string& key) const override;
    bool write(const std::string& section, const std::string& key,
               const std::string& value) override;
    bool writeAll(const std::string& section,
                  const std::vector<std::pair<std::string, std::string>>& values) override;
    QString fileName() const { return settings_->fileName(); }
    std::string location() const override { return fileName().toStdString(); }

  private:
    std::unique_ptr<QSettings> settings_;
};

}  // namespace kv
