// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <vector>

#include "port_names.h"
#include "serial_ports.h"

namespace kv::test {

// A machine with the serial devices a test gives it: on-board ports by number (1 is
// /dev/ttyS0) and the adapters linked from a by-id folder, such as kv3710-sim --by-id makes.
class FakeMachine : public SerialDetector {
  public:
    std::vector<SerialDevice> devices() const override {
        std::vector<SerialDevice> found;
        if (!byIdFolder.isEmpty()) found = readByIdFolder(byIdFolder.toStdString());
        for (int n : onBoard) found.push_back({onBoardPortPath(n), {}, "16550A UART", {}, {}});
        return found;
    }
    std::vector<int> onBoard;
    QString byIdFolder;
};

}  // namespace kv::test
