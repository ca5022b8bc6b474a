// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <deque>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "sim_options.h"
#include "sim_pty.h"
#include "sim_radio.h"

namespace kv::sim {

// The simulator's I/O loop: the radio on a pseudo-terminal, control commands on standard
// input, replies sent when their time has come. Sleeps in poll(2) while nothing is due.
class SimServer {
  public:
    explicit SimServer(SimOptions options);
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    // Runs until SIGINT, SIGTERM or SIGHUP; returns the process exit code.
    int run();

  private:
    bool openDevice(std::string& error);
    void closeDevice();
    void readDevice(SimTime now);
    void sendDueReplies(SimTime now);
    void writePending();
    void readControl(SimTime now);
    void execute(const ControlCommand& command, SimTime now);
    void logBytes(SimTime now, std::string_view direction, std::string_view bytes);
    void logEvent(SimTime now, std::string_view event);
    std::optional<SimTime> nextWakeUp() const;

    SimOptions options_;
    RadioEmulator radio_;
    std::optional<PseudoTerminal> device_;
    std::unique_ptr<DeviceLink> link_;
    std::unique_ptr<DeviceLink> byIdLink_;
    std::deque<Reply> scheduled_;
    std::string unsent_;
    std::optional<SimTime> returnAt_;
    std::string controlLine_;
    bool controlOpen_ = true;
    std::ofstream wireLog_;
    std::ofstream sweepLog_;
};

}  // namespace kv::sim
