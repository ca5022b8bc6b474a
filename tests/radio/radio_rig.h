#pragma once

#include <QByteArray>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "default_settings.h"
#include "fake_event_loop.h"
#include "fake_radio.h"
#include "radio.h"
#include "recording_surface.h"

namespace kv::test {

// A Radio wired to a fake radio on a scripted port, on fake time.
struct RadioRig {
    SharedState state;
    FakeEventLoop loop;
    FakeTimer timer1{loop, Radio::kReplyTimeoutMs};
    ScriptedComm comm{loop};
    RecordingSurface surface;
    FakeRadio fake;
    Radio radio{state, comm, timer1, loop, surface};
    std::vector<std::int64_t> sentAt;  // fake time of every output, in order

    RadioRig() {
        state = defaultState();
        comm.setPortOpen(true);
        answerWith([this](std::string_view sent) { return fake.answer(sent); });
    }
    RadioRig(const RadioRig&) = delete;
    RadioRig& operator=(const RadioRig&) = delete;

    template <typename F>
    void answerWith(F responder) {
        comm.responder = [this, responder](std::string_view sent) mutable {
            sentAt.push_back(loop.now);
            return responder(sent);
        };
    }
};

inline std::string bytes(const QByteArray& b) {
    return {b.constData(), static_cast<std::size_t>(b.size())};
}

}  // namespace kv::test
