// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace kv::test {

inline std::string channelCommand(int ch) {
    return {'\xB1', static_cast<char>(ch), '\0'};
}

// Plays the radio on the far end of a ScriptedComm: the command-mode dialogue, channel, level.
// Its bytes are its own, not the analyzer's constants, so that the tests check those.
struct FakeRadio {
    bool commandMode = false;
    std::function<std::uint16_t(int channel)> reading = [](int) { return std::uint16_t{100}; };

    std::string answer(std::string_view sent) {
        const std::string prefix = "\xCC";  // the radio's command prefix
        const bool confirming = std::exchange(confirming_, false);
        if (sent == "AT+++\r") {  // an unknown command in command mode
            confirming_ = !commandMode;
            return commandMode ? "" : prefix + "COM";
        }
        if (sent == "\xCC\x65" && confirming) return commandMode = true, "\x65";
        if (!commandMode) return {};
        if (sent == prefix + "ATO\r") return commandMode = false, prefix + "DAT";
        if (sent == "V" || (sent.size() == 3 && sent[0] == '\xB1' && sent[2] == '\0')) {
            if (sent != "V") channel_ = static_cast<unsigned char>(sent[1]);
            return std::string(sent);
        }
        if (sent != "\x21\x02") return {};
        const std::uint16_t raw = reading(channel_);
        return {'\x21', '\x02', static_cast<char>(raw & 0xFF), static_cast<char>(raw >> 8)};
    }

  private:
    bool confirming_ = false;
    int channel_ = -1;
};

}  // namespace kv::test
