// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>

namespace kv {

// Yield to the event loop: handle every pending event and return.
class EventLoop {
  public:
    virtual ~EventLoop() = default;
    virtual void yield() = 0;
    // Like yield(), but when nothing is pending it may sleep until the next event
    // arrives. Only for callers that have a timer armed, so the sleep is bounded, or that have
    // nothing to do until an event comes.
    virtual void yieldWaiting() { yield(); }
    // How long ago the last yield returned: for as long, the window has not answered.
    virtual std::chrono::milliseconds sinceLastYield() const = 0;
};

}  // namespace kv
