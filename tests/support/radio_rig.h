// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <functional>
#include <string>

#include "default_state.h"
#include "display.h"
#include "fake_event_loop.h"
#include "radio_session.h"
#include "recording_surface.h"
#include "spectrum_model.h"

namespace kv::test {

inline std::string channelCommand(int ch) {
    return {'\xB1', static_cast<char>(ch), '\0'};
}

// Plays the radio on the far end of a ScriptedComm: the command-mode dialogue, channel, level.
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

// A radio session wired to a fake radio on a scripted port, on fake time.
struct RadioRig {
    RadioRig() {
        comm.setPortOpen(true);
        answerWith([this](std::string_view sent) { return fake.answer(sent); });
    }
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

    SharedState state = defaultState();
    FakeEventLoop loop;
    FakeTimer timer1{loop, Radio::kReplyTimeoutMs};
    FakeTimer reopenTimer{loop, RadioSession::kReopenPeriodMs};
    ScriptedComm comm{loop};
    RecordingSurface surface;
    FakeRadio fake;
    Display screen{state, surface};  // where the failure message is drawn
    RadioSession session{state, comm, timer1, reopenTimer, loop, screen};
    Radio& radio = session.radio();
    std::vector<std::int64_t> sentAt;  // fake time of every output, in order
};

}  // namespace kv::test
