// SPDX-License-Identifier: GPL-3.0-or-later
#include "outbound_queue.h"

#include <algorithm>

namespace kv::mqtt {

bool OutboundQueue::push(OutboundMessage message) {
    entries_.push_back({std::move(message), 0});
    if (entries_.size() <= limit_) return false;
    entries_.pop_front();
    if (handed_ > 0) --handed_;
    ++dropped_;
    const bool began = !dropping_;
    dropping_ = true;
    return began;
}

const OutboundMessage* OutboundQueue::nextToSend(std::size_t window) const {
    if (handed_ >= window || handed_ >= entries_.size()) return nullptr;
    return &entries_[handed_].message;
}

void OutboundQueue::sent(int mid) {
    entries_[handed_++].mid = mid;
}

void OutboundQueue::acknowledged(int mid) {
    const auto end = entries_.begin() + static_cast<std::ptrdiff_t>(handed_);
    const auto found =
        std::find_if(entries_.begin(), end, [mid](const Entry& e) { return e.mid == mid; });
    if (found == end) return;
    entries_.erase(found);
    --handed_;
    dropping_ = false;
}

}  // namespace kv::mqtt
