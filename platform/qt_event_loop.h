// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>

#include "event_loop.h"

namespace kv {

class QtEventLoop : public EventLoop {
  public:
    void yield() override;
    void yieldWaiting() override;
    std::chrono::milliseconds sinceLastYield() const override;

  private:
    std::chrono::steady_clock::time_point lastYield_ = std::chrono::steady_clock::now();
};

}  // namespace kv
