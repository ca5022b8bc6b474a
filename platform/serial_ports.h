// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "settings_backend.h"

namespace kv {

// A serial device of the machine.
struct SerialDevice {
    std::string node;        // the device itself, e.g. /dev/ttyUSB0
    std::string stablePath;  // its link under the by-id folder; empty when it has none
    std::string description;
    std::string manufacturer;
    std::string serialNumber;
};

// What serial devices the machine has. The program asks the system; tests give a made-up
// machine, with or without on-board ports.
class SerialDetector {
  public:
    virtual ~SerialDetector() = default;
    // On-board ports that exist, USB adapters, CDC ports and every device linked from the
    // by-id folder.
    virtual std::vector<SerialDevice> devices() const = 0;
};

// QSerialPortInfo and the by-id folder: $KV3710_SERIAL_BY_ID_DIR, else /dev/serial/by-id.
class SystemSerialDetector : public SerialDetector {
  public:
    std::vector<SerialDevice> devices() const override;
    static std::string byIdFolder();
};

// The devices linked from a by-id folder, described by their link names; dangling links
// (a device just pulled out) are left out.
std::vector<SerialDevice> readByIdFolder(const std::string& folder);
// Maker, product and serial number from a udev name such as
// usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0; the product is the description.
SerialDevice deviceFromLinkName(const std::string& name);

// The device a [Ports] path leads to, by its stable path, its node or where a link points.
const SerialDevice* findDevice(const std::vector<SerialDevice>& devices, const std::string& path);

// Gives each device without a [Ports] entry the lowest port number of the list that has no
// entry and no on-board port /dev/ttyS<n-1>, under its stable path where it has one. On-board
// ports keep their own numbers; existing entries are never changed. Returns the numbers added.
std::vector<int> assignPortNumbers(SettingsBackend& store,
                                   const std::vector<SerialDevice>& devices);

// What is behind port n for the port list, e.g. "FT232R USB UART (ttyUSB0)"; empty when
// nothing is.
std::string describePort(const SettingsBackend& store, const std::vector<SerialDevice>& devices,
                         int n);

}  // namespace kv
