// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <vector>

#include "serial_ports.h"

namespace kv::test {

// A machine with the serial adapters linked from a by-id folder, such as kv3710-sim --by-id
// makes.
class FakeMachine : public SerialDetector {
  public:
    std::vector<SerialDevice> devices() const override {
        if (byIdFolder.isEmpty()) return {};
        return readByIdFolder(byIdFolder.toStdString());
    }
    QString byIdFolder;
};

}  // namespace kv::test
