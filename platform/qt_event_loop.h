#pragma once

#include "event_loop.h"

namespace kv {

class QtEventLoop : public EventLoop {
public:
    void yield() override;
    void yieldWaiting() override;
};

}  // namespace kv
