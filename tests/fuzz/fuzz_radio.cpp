// SPDX-License-Identifier: GPL-3.0-or-later
// The radio's side of the wire as anything at all: each command the session sends is answered
// as the input says (rightly, late, cut short, with stray bytes after it, with bytes of its
// own, or not at all), on fake time, through command mode, measurements with their recovery,
// and the orderly end, which may come in the middle of a wait as a closed window's does. Once
// the input is used up the radio answers rightly. The rules: no wait outlasts its time-out, a
// level is one the converter can give, only the message shown is erased, and the end sends the
// exit bytes; with a radio that answers, it leaves the radio out of command mode.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <utility>

#include "default_state.h"
#include "fake_event_loop.h"
#include "fake_radio.h"
#include "fuzz_check.h"
#include "level_conversion.h"
#include "radio_session.h"

using namespace kv;
using namespace kv::test;

namespace {

const std::string kExit = "V", kResume = "\xCC\x41TO\r";
// A wait ends at the reply time-out; the next exchange may first wait for the rest of a
// measurement reply cut short; each poll that yields costs the fake loop a millisecond.
constexpr std::int64_t kLongestWaitMs =
    Radio::kReplyTimeoutMs + Radio::kCutShortReplyLimit.count() + 20;
// The converter's range: a reading of 0 and one past the ceiling of the detector.
const double kHighestLevel = levelFromReading(0), kLowestLevel = levelFromReading(0xFFFF);
constexpr int kPoints = 6, kSweeps = 3;

// Checks that the message erased is the one on the screen.
struct Report : LinkReport {
    void eraseCommFailure(std::string_view shown) override {
        fuzzCheck(shown == onScreen, "the text erased is the text shown");
        onScreen.clear();
    }
    void showCommFailure(std::string_view message) override {
        fuzzCheck(onScreen.empty(), "a message is shown over nothing");
        onScreen = std::string(message);
    }
    std::string onScreen;
};

enum class Answer { Right, Silent, CutShort, Own, StrayAfter, Close };

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    SharedState state = defaultState();
    FakeEventLoop loop;
    FakeTimer replyTimer{loop, Radio::kReplyTimeoutMs};
    FakeTimer reopenTimer{loop, RadioSession::kReopenPeriodMs};
    ScriptedComm comm{loop};
    comm.blockingWaits = true;
    comm.setPortOpen(true);
    FakeRadio radio;
    radio.reading = [&](int) { return input.ConsumeIntegral<std::uint16_t>(); };
    Report report;
    RadioSession session{state, comm, replyTimer, reopenTimer, loop, report};

    bool closing = false, closed = false;
    std::size_t closeStart = 0;
    std::int64_t lastOutput = 0;
    const auto close = [&] {  // once, as the window unloads once
        if (std::exchange(closing, true)) return;
        closeStart = comm.outputs.size();
        session.close();
        closed = true;
    };
    comm.responder = [&](std::string_view sent) {
        fuzzCheck(loop.now - lastOutput <= kLongestWaitMs, "no wait outlasts its time-out");
        lastOutput = loop.now;
        std::string reply = radio.answer(sent);
        comm.latencyMs = 0;
        if (closing || input.remaining_bytes() == 0) return reply;
        const auto answer = static_cast<Answer>(input.ConsumeIntegralInRange(0, 7) % 6);
        comm.latencyMs = input.ConsumeIntegralInRange(0, 2 * Radio::kReplyTimeoutMs);
        switch (answer) {
            case Answer::Right:
                return reply;
            case Answer::Silent:
                return std::string();
            case Answer::CutShort:
                return reply.substr(0, input.ConsumeIntegralInRange<std::size_t>(0, reply.size()));
            case Answer::Own:
                return input.ConsumeBytesAsString(input.ConsumeIntegralInRange(0, 24));
            case Answer::StrayAfter:
                return reply + input.ConsumeBytesAsString(input.ConsumeIntegralInRange(1, 8));
            case Answer::Close:  // the window closed while this reply is on its way
                loop.afterYields(1, close);
                return reply;
        }
        return reply;
    };

    if (session.enterCommandMode())
        for (int sweep = 0; sweep < kSweeps && !state.flags.stopRequested; ++sweep)
            for (int point = 0; point < kPoints && !state.flags.stopRequested; ++point) {
                const std::optional<double> level = session.measure(point);
                fuzzCheck(!level || (*level >= kLowestLevel && *level <= kHighestLevel),
                          "a level the converter can give");
                fuzzCheck(loop.now - lastOutput <= kLongestWaitMs, "no wait outlasts its time-out");
            }
    fuzzCheck(closed == state.flags.stopRequested, "only the end stops the session");
    const bool answeredAtTheEnd = !closed;
    if (!closed) close();

    const std::vector<std::string> end(comm.outputs.begin() + std::ptrdiff_t(closeStart),
                                       comm.outputs.end());
    fuzzCheck(!end.empty() && end.front() == kExit && end.size() <= 2 &&
                  (end.size() == 1 || end.back() == kResume),
              "the end sends the exit bytes and nothing else");
    fuzzCheck(!answeredAtTheEnd || (end.size() == 2 && !radio.commandMode),
              "a radio that answers is left out of command mode");
    fuzzCheck(!comm.portOpen(), "the port is closed at the end");
    return 0;
}
