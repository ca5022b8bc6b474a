// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "port_problem.h"

namespace kv {

// The serial communications control the radio link talks through. Texts hold one
// character per byte; every byte value 0..255 passes unchanged.
class CommControl {
  public:
    virtual ~CommControl() = default;

    // Selects the 1-based port for the next open; false when the system has no such port.
    virtual bool setCommPort(int n) = 0;
    // "rate,parity,data,stop", e.g. "115200,n,8,1"; false when malformed or not applicable.
    virtual bool setSettings(std::string_view text) = 0;
    virtual bool portOpen() const = 0;
    // true opens (false for a missing port, a port in use or rejected settings); false closes.
    virtual bool setPortOpen(bool open) = 0;
    virtual void setHandshaking(int mode) = 0;
    virtual void setRtsEnable(bool enable) = 0;
    // Sends the bytes now, in order. Does nothing on a closed port.
    virtual void output(std::string_view bytes) = 0;
    // Every byte received and not yet read, removed from the queue; empty when none.
    virtual std::string input() = 0;
    // OutBufferCount = 0: discards bytes still waiting to be sent.
    virtual void clearOutBuffer() = 0;
    // Blocks at most `limit` until input() would return something; true if it would. A
    // signal may end it sooner. Used to realise the first polls of a reply wait without
    // spinning.
    virtual bool waitForInput(std::chrono::milliseconds limit) = 0;
    // true after the device vanished under an open port, until it is opened again.
    virtual bool portLost() const { return false; }
    // The device the selected port stands for, for the user's eyes; empty when unknown.
    virtual std::string portDevice() const { return {}; }
    // Text describing the last failure of a write above, for diagnostics only.
    virtual std::string lastError() const { return {}; }
    // Why the last open of the selected port failed; no failure after a successful open.
    virtual PortProblem openProblem() const { return {}; }

    // Raised from the event loop only, while received bytes are waiting.
    void setOnComm(std::function<void()> handler) { onComm_ = std::move(handler); }

  protected:
    void raiseOnComm() {
        if (onComm_) onComm_();
    }

  private:
    std::function<void()> onComm_;
};

}  // namespace kv
