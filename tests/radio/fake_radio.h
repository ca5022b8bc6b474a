#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace kv::test {

// Plays the radio on the far end of a ScriptedComm: answers the command-mode dialogue and the
// channel and level commands, with switches for the faults the tests need.
struct FakeRadio {
    bool commandMode = false;
    bool silent = false;  // drops every command
    std::function<std::uint16_t(int channel)> reading = [](int) { return std::uint16_t{100}; };
    int channel = -1;

    std::string answer(std::string_view sent) {
        if (silent) return {};
        if (sent == "AT+++\r") {
            // A radio already in command mode takes this for an unknown command.
            confirming_ = !commandMode;
            return commandMode ? std::string{} : std::string("\xCC") + "COM";
        }
        if (sent == "\xCC\x65" && confirming_) {
            confirming_ = false;
            commandMode = true;
            return "\x65";
        }
        if (!commandMode) return {};
        if (sent == "V") return "V";
        if (sent == std::string("\xCC") + "ATO\r") {
            commandMode = false;
            return std::string("\xCC") + "DAT";
        }
        if (sent.size() == 3 && sent[0] == '\xB1' && sent[2] == '\0') {
            channel = static_cast<unsigned char>(sent[1]);
            return std::string(sent);
        }
        if (sent == "\x21\x02") {
            const std::uint16_t raw = reading(channel);
            return {'\x21', '\x02', static_cast<char>(raw & 0xFF), static_cast<char>(raw >> 8)};
        }
        return {};
    }

    // A responder for ScriptedComm that plays this radio.
    std::function<std::string(std::string_view)> responder() {
        return [this](std::string_view sent) { return answer(sent); };
    }

  private:
    bool confirming_ = false;
};

inline std::string channelCommand(int ch) {
    return {'\xB1', static_cast<char>(ch), '\0'};
}

}  // namespace kv::test
