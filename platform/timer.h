// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <functional>

namespace kv {

// A timer with Enabled and Interval. Enabling starts a fresh period; it keeps ticking
// every period until disabled, usually by its own tick handler.
class Timer {
  public:
    virtual ~Timer() = default;
    virtual void setEnabled(bool enabled) = 0;
    virtual void setInterval(int milliseconds) = 0;
    // Until the next tick is due (0 when it is overdue); the longest duration while disabled.
    virtual std::chrono::milliseconds remainingTime() const = 0;

    void setOnTick(std::function<void()> handler) { onTick_ = std::move(handler); }

  protected:
    void raiseTick() {
        if (onTick_) onTick_();
    }

  private:
    std::function<void()> onTick_;
};

}  // namespace kv
