// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <optional>
#include <string>

#include "colour.h"
#include "common_dialogs.h"
#include "settings_backend.h"
#include "shared_state.h"

class QPushButton;

namespace kv {

// The colours dialog: one button per display colour, filled with it. A colour changed in
// the chooser is applied at once: the setting variables, all seven colour keys of the store
// and a full redraw of the main window. An eighth colour kept elsewhere (the limit's) may
// follow as a last row, which its owner stores and applies. Not modal; it takes the focus back from
// the program's other windows and deletes itself when closed.
class ColoursDialog : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kRowCount = 7;
    struct OwnColour {
        std::string label;  // "Limit Color"
        std::function<Colour()> get;
        std::function<void(Colour)> set;
    };

    // `redraw` clears the main window and draws it again in the current colours.
    ColoursDialog(SharedState& state, SettingsBackend& store, CommonDialogs& dialogs,
                  std::function<void()> redraw, QWidget* parent = nullptr,
                  std::optional<OwnColour> own = std::nullopt);

  private:
    void buildControls();
    void load();
    void chooseColour(int index);
    void colourChosen(int index, std::optional<Colour> chosen);
    void setFace(int index, Colour colour);

    SharedState& state_;
    SettingsBackend& store_;
    CommonDialogs& dialogs_;
    std::function<void()> redraw_;
    std::optional<OwnColour> own_;
    int rows_ = kRowCount;
    std::array<Colour, kRowCount + 1> faces_{};
    std::array<QPushButton*, kRowCount + 1> buttons_{};
};

}  // namespace kv
