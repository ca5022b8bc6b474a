// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include "sweep_sink.h"

namespace kv {

// Where whole sweeps come from other than the radio on the port: a file played back, a remote
// radio. The sweep takes each one into the same path as a measured one.
class SweepSource {
  public:
    virtual ~SweepSource() = default;
    // From now on hands every sweep, as it comes, to `receive`, from an event of the loop.
    virtual void start(std::function<void(const Sweep&)> receive) = 0;
    // No sweep is handed on after this.
    virtual void stop() = 0;
};

}  // namespace kv
