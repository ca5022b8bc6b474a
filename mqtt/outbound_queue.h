// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <deque>
#include <string>

namespace kv::mqtt {

struct OutboundMessage {
    std::string topic;
    std::string payload;
    bool retain = false;
};

// The messages the broker has not acknowledged yet, oldest first, at most `limit` of them.
// Those handed to the connection are the first ones; a message leaves only when the broker
// acknowledges it, or when a newer one pushes it out past the limit.
class OutboundQueue {
  public:
    explicit OutboundQueue(std::size_t limit) : limit_(limit) {}

    // Appends; past the limit the oldest message goes. True when that drop began an episode:
    // the first since the broker last acknowledged a message.
    bool push(OutboundMessage message);
    // The oldest message not handed to the connection yet, while fewer than `window` are;
    // nullptr otherwise.
    const OutboundMessage* nextToSend(std::size_t window) const;
    // The message nextToSend gave went out as packet `mid`.
    void sent(int mid);
    // The broker acknowledged packet `mid`; one pushed out meanwhile is no longer here.
    void acknowledged(int mid);
    // The connection ended: what it had not acknowledged goes out again on the next one.
    void connectionLost() { handed_ = 0; }

    std::size_t size() const { return entries_.size(); }
    std::uint64_t dropped() const { return dropped_; }

  private:
    struct Entry {
        OutboundMessage message;
        int mid = 0;
    };
    std::deque<Entry> entries_;
    std::size_t limit_;
    std::size_t handed_ = 0;  // the first ones went out on this connection
    std::uint64_t dropped_ = 0;
    bool dropping_ = false;
};

}  // namespace kv::mqtt
