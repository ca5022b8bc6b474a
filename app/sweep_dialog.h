// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <optional>
#include <string>

#include "setting_values.h"
#include "settings_backend.h"
#include "sweep_controller.h"

class QLabel;
class QLineEdit;

namespace kv {

// The sweep settings dialog: centre frequency, span, reference level, point count, grid
// divisions and attenuator, each in the store's text form with its unit and range. Centre,
// span and points only say where the radio's channels lie on the frequency axis; the dialog
// shows the first and last channel's frequency and the spacing as they are typed. OK reads
// every field as the store reads it (a decimal comma in a fractional field as a point); a field
// that does not read or lies outside its range is refused with the reason beside it, and nothing
// is applied or stored. Otherwise the six keys are stored in one write and the change is handed
// to `apply`, in the form the store now holds. Not modal; it takes the focus back from the
// program's other windows and deletes itself when closed, so every opening starts from the
// current settings.
class SweepDialog : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kFieldCount = 6;

    SweepDialog(const SettingValues& current, SettingsBackend& store,
                std::function<void(SettingsChange)> apply, QWidget* parent = nullptr);

  private:
    void ok();
    // Reads field i as OK reads it into `into`; the reason when it is refused.
    std::optional<std::string> readField(std::size_t i, SettingValues& into) const;
    // Where the channels lie for the fields as they read now.
    void showPlan();

    SettingsBackend& store_;
    std::function<void(SettingsChange)> apply_;
    std::array<QLineEdit*, kFieldCount> fields_{};
    std::array<QLabel*, kFieldCount> reasons_{};
    SettingValues current_;
    QLabel* plan_ = nullptr;
};

}  // namespace kv
