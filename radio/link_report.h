// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

namespace kv {

// Why the radio link is failing.
enum class LinkTrouble {
    NoAnswer,    // the radio does not answer, or not as it should
    DeviceGone,  // the serial device went away under the open port
};

// What the radio link tells of its failures, to whoever shows them: the window draws the
// communication-failure message, the logger prints one line for each episode.
class LinkReport {
  public:
    virtual ~LinkReport() = default;
    // Removes the message last shown; `shown` is its text (empty when none is shown).
    virtual void eraseCommFailure(std::string_view shown) = 0;
    virtual void showCommFailure(std::string_view message) = 0;
    // A failure episode began: the first failure after the radio last answered in full.
    virtual void troubleBegan(LinkTrouble trouble) { static_cast<void>(trouble); }
    // A point was measured again after an episode.
    virtual void troubleEnded() {}
};

}  // namespace kv
