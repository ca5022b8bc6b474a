// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QTimer>
#include <string>
#include <string_view>

#include "comm_control.h"
#include "port_names.h"
#include "radio_session.h"
#include "serial_ports.h"
#include "settings_backend.h"
#include "shared_state.h"

class QComboBox;
class QLabel;

namespace kv {

// The serial port dialog: the user chooses port and rate; OK reopens the main window's
// serial control at once and stores the choice only when the port opened. Not modal; it
// takes the focus back from the program's other windows and deletes itself when closed,
// so every opening starts from the current port and the stored rate index. The port list
// names what is behind each number and follows devices being plugged in and pulled out.
class ComPortDialog : public QDialog {
    Q_OBJECT
  public:
    static constexpr std::string_view kReadyMessage =
        "Select a COM port to communicate with spectrum analyzer.";
    static constexpr std::string_view kPortProblemMessage =
        "The Serial Communications Port you have selected is either invalid or in use by "
        "another program.  Please select another port.";
    static constexpr int kPortCount = kListedPortCount;
    static constexpr int kRefreshMs = 500;

    // Opens the port through the radio session, as the window's start does.
    ComPortDialog(SharedState& state, RadioSession& session, SettingsBackend& store,
                  const SerialDetector& detector, QWidget* parent = nullptr);

    // Why the settings did not load, at the top of the dialog; empty for none.
    void showSettingsProblem(const std::string& text);

  signals:
    // The port is open with the chosen settings and the choice is stored.
    void portOpened();

  private:
    void buildControls();
    void load();
    void ok();
    void showMessage(std::string_view text);
    // The port-problem message with the reason of the failed open, if one is known.
    void showPortProblem();
    // What is wrong with the device now, as it comes and goes: gone from under the open port,
    // missing, back again, in use; empty while the port is open.
    std::string deviceReason() const;
    // Shows the reason above the buttons, or hides it, only when it changed.
    void showDeviceReason();
    // The notice at the top and the reason above the buttons push what is below them down;
    // the dialog grows by them.
    void layOut();
    void refreshPorts();
    void showPortToolTip(int index);

    SharedState& state_;
    RadioSession& session_;
    CommControl& comm_;
    SettingsBackend& store_;
    const SerialDetector& detector_;
    QTimer refresh_;
    QLabel* message_ = nullptr;
    QLabel* reason_ = nullptr;
    QLabel* notice_ = nullptr;
    QWidget* frame_ = nullptr;
    QWidget* okButton_ = nullptr;
    QWidget* cancelButton_ = nullptr;
    QComboBox* portBox_ = nullptr;
    QComboBox* baudBox_ = nullptr;
    int messageMaxHeight_ = 0;
    bool shownOpen_ = false;  // whether the port was open when the message was chosen
    QSize baseSize_;
};

}  // namespace kv
