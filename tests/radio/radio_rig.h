#pragma once

#include <QByteArray>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "default_settings.h"
#include "display.h"
#include "fake_event_loop.h"
#include "radio.h"
#include "recording_surface.h"
#include "spectrum_model.h"

namespace kv::test {

inline std::string channelCommand(int ch) {
    return {'\xB1', static_cast<char>(ch), '\0'};
}

inline std::string bytes(const QByteArray& b) {
    return {b.constData(), static_cast<std::size_t>(b.size())};
}

// Plays the radio on the far end of a ScriptedComm: answers the command-mode dialogue and the
// channel and level commands, with a switch for a radio that answers nothing.
struct FakeRadio {
    bool commandMode = false;
    bool silent = false;
    std::function<std::uint16_t(int channel)> reading = [](int) { return std::uint16_t{100}; };

    std::string answer(std::string_view sent) {
        if (silent) return {};
        const bool confirming = std::exchange(confirming_, false);
        if (sent == "AT+++\r") {
            // A radio already in command mode takes this for an unknown command.
            confirming_ = !commandMode;
            return commandMode ? std::string{}
                               : "\xCC"
                                 "COM";
        }
        if (sent == "\xCC\x65" && confirming) {
            commandMode = true;
            return "\x65";
        }
        if (!commandMode) return {};
        if (sent == "V") return "V";
        if (sent ==
            "\xCC"
            "ATO\r") {
            commandMode = false;
            return "\xCC"
                   "DAT";
        }
        if (sent.size() == 3 && sent[0] == '\xB1' && sent[2] == '\0') {
            channel_ = static_cast<unsigned char>(sent[1]);
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

// A Radio wired to a fake radio on a scripted port, on fake time.
struct RadioRig {
    SharedState state = defaultState();
    FakeEventLoop loop;
    FakeTimer timer1{loop, Radio::kReplyTimeoutMs};
    ScriptedComm comm{loop};
    RecordingSurface surface;
    FakeRadio fake;
    Display screen{state, surface};  // where the failure message is drawn
    Radio radio{state, comm, timer1, loop, screen};
    std::vector<std::int64_t> sentAt;  // fake time of every output, in order

    RadioRig() {
        comm.setPortOpen(true);
        answerWith([this](std::string_view sent) { return fake.answer(sent); });
    }
    RadioRig(const RadioRig&) = delete;
    RadioRig& operator=(const RadioRig&) = delete;

    // One measurement stored in the trace as the sweep stores it; false when it failed.
    bool measure(int point) {
        const auto level = radio.measurePoint(point);
        if (level)
            storeMeasurement(state, point, *level,
                             levelToY(state.settings, *level, surface.scaleHeight()));
        return level.has_value();
    }

    template <typename F>
    void answerWith(F responder) {
        comm.responder = [this, responder](std::string_view sent) mutable {
            sentAt.push_back(loop.now);
            return responder(sent);
        };
    }
    bool commFailureShown() const {
        for (const auto& text : surface.printedTexts())
            if (text.starts_with("Communication failure.")) return true;
        return false;
    }
};

}  // namespace kv::test
