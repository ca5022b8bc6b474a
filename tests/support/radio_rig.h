// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <functional>
#include <string>

#include "default_state.h"
#include "display.h"
#include "fake_event_loop.h"
#include "fake_radio.h"
#include "radio_session.h"
#include "recording_surface.h"
#include "spectrum_model.h"

namespace kv::test {

// A radio session wired to a fake radio on a scripted port, on fake time.
struct RadioRig {
    RadioRig() {
        comm.setPortOpen(true);
        answerWith([this](std::string_view sent) { return fake.answer(sent); });
    }
    // One measurement stored in the trace as the sweep stores it; false when it failed.
    bool measure(int point) {
        const auto level = radio.measurePoint(point);
        if (level) {
            const double shown = levelOnGraph(state.settings, *level);
            storeMeasurement(state, point, shown,
                             levelToY(state.settings, shown, surface.scaleHeight()));
        }
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
