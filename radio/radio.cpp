// SPDX-License-Identifier: GPL-3.0-or-later
#include "radio.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "level_conversion.h"
#include "log_categories.h"
#include "spectrum_model.h"

namespace kv {

namespace {

// The command-mode dialogue; 0xCC is the radio's command prefix.
constexpr std::string_view kEnterCommand = "AT+++\r";
constexpr std::string_view kEnterReply =
    "\xCC"
    "COM";
constexpr std::string_view kConfirmCommand = "\xCC\x65";
constexpr std::string_view kConfirmReply = "\x65";
constexpr std::string_view kExitCommand = "V";
constexpr std::string_view kExitReply = "V";
constexpr std::string_view kResumeCommand =
    "\xCC"
    "ATO\r";
constexpr std::string_view kResumeReply =
    "\xCC"
    "DAT";
constexpr std::string_view kLevelCommand = "\x21\x02";
constexpr std::size_t kLevelReplySize = 4;

bool endsWith(const std::string& s, std::string_view tail) {
    return s.size() >= tail.size() && std::string_view(s).substr(s.size() - tail.size()) == tail;
}

bool startsWith(const std::string& s, std::string_view head) {
    return std::string_view(s).substr(0, head.size()) == head;
}

int byteAt(const std::string& s, std::size_t i) {
    return static_cast<unsigned char>(s[i]);
}

// Every reply condition looks only at the first four bytes, the last four, or whether at least
// four arrived, so the middle of a long buffer never decides anything. Dropping it keeps a radio
// that floods the line from growing the buffer without bound.
constexpr std::size_t kReceiveBufferLimit = 4096;
constexpr std::size_t kReceiveBufferHead = 16;

void appendReceived(std::string& buffer, const std::string& bytes) {
    buffer += bytes;
    if (buffer.size() > kReceiveBufferLimit)
        buffer.erase(kReceiveBufferHead, buffer.size() - kReceiveBufferLimit);
}

}  // namespace

Radio::Radio(SharedState& state, CommControl& comm, Timer& timer1, EventLoop& loop,
             LinkReport& report, std::chrono::milliseconds unansweredLimit)
    : state_(state),
      comm_(comm),
      timer1_(timer1),
      loop_(loop),
      report_(report),
      unansweredLimit_(unansweredLimit) {
    timer1_.setInterval(kReplyTimeoutMs);
    comm_.setOnComm([this] { onComm(); });
    timer1_.setOnTick([this] { onTimer1Tick(); });
}

Radio::~Radio() {
    comm_.setOnComm(nullptr);
    timer1_.setOnTick(nullptr);
}

void Radio::onComm() {
    appendReceived(receiveBuffer_, comm_.input());
}

void Radio::onTimer1Tick() {
    // Logged once until a reply comes back: a silent radio times out every two seconds.
    if (!timeoutLogged_)
        qCWarning(lcRadio) << "no reply from the radio within" << kReplyTimeoutMs << "ms";
    timeoutLogged_ = true;
    state_.flags.replyTimedOut = true;
    timer1_.setEnabled(false);
}

void Radio::armReplyTimer() {
    timer1_.setEnabled(true);
    state_.flags.replyTimedOut = false;
}

bool Radio::yieldInWait() {
    // Timer1 is armed, so a wait that sleeps until the next event always wakes; the port's
    // bytes are such an event too. A wait that begins with the stop already requested ends
    // after this yield anyway: it must not sleep (the window's unload gives up on the radio
    // this way).
    if (state_.flags.stopRequested)
        loop_.yield();
    else
        loop_.yieldWaiting();
    ++yields_;
    return !state_.flags.stopRequested;
}

bool Radio::pollWithoutReading() {
    // Nothing runs between polls that do not yield, so they would only see the same buffer
    // again.
    return yieldInWait();
}

bool Radio::pollReadingPort() {
    using namespace std::chrono_literals;
    // Until the limit, block on the port rather than spin, and no longer than until the reply
    // times out, which a yield tells. A wait on the port shorter than the last reply took
    // would mostly wake up only to yield: the yield comes at once then, and its wait ends
    // with the reply as well.
    const auto left = std::min(unansweredLimit_ - loop_.sinceLastYield(), timer1_.remainingTime());
    if (left > lastReplyTime_ && comm_.waitForInput(left)) {
        // New bytes are checked at once.
        appendReceived(receiveBuffer_, comm_.input());
        return true;
    }
    return yieldInWait();
}

void Radio::replyWaitBegins() {
    replyWaitStart_ = loop_.sinceLastYield();
    yieldsAtWaitStart_ = yields_;
}

void Radio::replyWaitEnded() {
    // Only a wait without a yield shows how long the radio takes on the loop's clock.
    if (yields_ == yieldsAtWaitStart_) lastReplyTime_ = loop_.sinceLastYield() - replyWaitStart_;
}

void Radio::takeCutShortReply() {
    // A stop (or an exchange started from an event inside a wait's yield) leaves that wait's
    // reply on its way; read as the answer to the next command it would fail that exchange,
    // and at close leave the radio in command mode. A slow radio (a low rate, a late reply)
    // may send it as long as the exchange had time left, so that is how long it is waited
    // for; nothing runs meanwhile.
    const std::size_t have = receiveBuffer_.size();
    const std::size_t owed = awaitedReply_ > have ? awaitedReply_ - have : 0;
    awaitedReply_ = 0;
    if (owed == 0) return;
    // A disabled timer: that wait timed out already, and a late reply is not waited for.
    const auto remaining = timer1_.remainingTime();
    const auto limit = remaining > std::chrono::milliseconds(kReplyTimeoutMs)
                           ? kCutShortReplyLimit
                           : std::max(remaining, kCutShortReplyLimit);
    // On the loop's clock, which is the reply timer's too.
    const auto start = loop_.sinceLastYield();
    std::size_t taken = 0;
    while (taken < owed) {
        const auto left = limit - (loop_.sinceLastYield() - start);
        if (left.count() <= 0 || !comm_.waitForInput(left)) break;
        taken += comm_.input().size();
    }
}

bool Radio::enterCommandMode() {
    auto& buffer = receiveBuffer_;
    const auto& flags = state_.flags;

    takeCutShortReply();
    buffer.clear();
    comm_.output(kEnterCommand);
    armReplyTimer();
    awaitedReply_ = kEnterReply.size();
    while (!(endsWith(buffer, kEnterReply) || flags.replyTimedOut))
        if (!pollWithoutReading()) return false;
    awaitedReply_ = 0;
    timer1_.setEnabled(false);
    if (flags.replyTimedOut) return false;

    buffer.clear();
    comm_.output(kConfirmCommand);
    armReplyTimer();
    awaitedReply_ = kConfirmReply.size();
    while (!(buffer == kConfirmReply || flags.replyTimedOut))
        if (!pollWithoutReading()) return false;
    awaitedReply_ = 0;
    timer1_.setEnabled(false);
    if (!flags.replyTimedOut) replied();
    return !flags.replyTimedOut;
}

bool Radio::exitCommandMode() {
    auto& buffer = receiveBuffer_;
    const auto& flags = state_.flags;
    bool confirmed = false;

    takeCutShortReply();
    buffer.clear();
    comm_.output(kExitCommand);
    armReplyTimer();
    awaitedReply_ = kExitReply.size();
    while (!(startsWith(buffer, kExitReply) || flags.replyTimedOut))
        if (!pollWithoutReading()) return false;
    awaitedReply_ = 0;
    timer1_.setEnabled(false);

    if (!flags.replyTimedOut) {
        buffer.clear();
        comm_.output(kResumeCommand);
        armReplyTimer();
        awaitedReply_ = kResumeReply.size();
        while (!(startsWith(buffer, kResumeReply) || flags.replyTimedOut))
            if (!pollWithoutReading()) return false;
        awaitedReply_ = 0;
        timer1_.setEnabled(false);
        confirmed = !flags.replyTimedOut;
    }

    comm_.setHandshaking(0);
    return confirmed;
}

std::string deviceGoneMessage(std::string_view device) {
    const std::string name = device.empty() ? std::string("its device") : std::string(device);
    return "Radio disconnected: " + name + " is gone; waiting for it to come back.";
}

void Radio::reportCommFailure(bool eraseOnly) {
    if (state_.flags.stopRequested) return;
    const auto& s = state_.settings;
    auto& texts = state_.texts;
    report_.eraseCommFailure(texts.shownCommMessage);
    texts.commMessage.clear();
    texts.shownCommMessage.clear();
    if (eraseOnly) return;

    texts.commMessage = comm_.portLost()
                            ? deviceGoneMessage(comm_.portDevice())
                            : "Communication failure.  Hardware is COM" +
                                  std::to_string(s.port + 1) + " and baud rate is " + s.baud +
                                  ".  RTS mode should be disabled in the radio.";
    texts.shownCommMessage = texts.commMessage;
    report_.showCommFailure(texts.commMessage);
}

std::optional<double> Radio::measurePoint(int point) {
    auto& buffer = receiveBuffer_;
    const auto& flags = state_.flags;
    // A point without a place in the trace or beyond the one-byte channel cannot be measured.
    if (point < 0 || point > kHighestChannel || point >= static_cast<int>(state_.trace.size()) ||
        point >= static_cast<int>(state_.previousTrace.size()))
        return std::nullopt;

    lastCommand_ = {'\xB1', static_cast<char>(point), '\0'};
    takeCutShortReply();
    buffer.clear();
    comm_.output(lastCommand_);
    state_.flags.replyTimedOut = false;
    timer1_.setEnabled(true);
    awaitedReply_ = lastCommand_.size();
    replyWaitBegins();
    while (!(buffer.size() >= lastCommand_.size() || flags.replyTimedOut))
        if (!pollReadingPort()) return std::nullopt;
    replyWaitEnded();
    awaitedReply_ = 0;
    timer1_.setEnabled(false);
    // Only an exact echo confirms the channel.
    if (buffer != lastCommand_ || flags.replyTimedOut) return measurementFailed();
    reportCommFailure(true);

    lastCommand_ = kLevelCommand;
    buffer.clear();
    comm_.output(lastCommand_);
    state_.flags.replyTimedOut = false;
    timer1_.setEnabled(true);
    awaitedReply_ = kLevelReplySize;
    replyWaitBegins();
    while (!(buffer.size() >= kLevelReplySize || flags.replyTimedOut))
        if (!pollReadingPort()) return std::nullopt;
    replyWaitEnded();
    awaitedReply_ = 0;
    timer1_.setEnabled(false);
    if (flags.replyTimedOut || flags.stopRequested) return measurementFailed();

    const auto raw = static_cast<std::uint16_t>(256 * byteAt(buffer, 3) + byteAt(buffer, 2));
    const double level = levelFromReading(raw);
    replied();
    reportCommFailure(true);
    return level;
}

void Radio::replied() {
    if (timeoutLogged_) qCInfo(lcRadio) << "the radio replies again";
    timeoutLogged_ = false;
}

void Radio::exitCommandModeAtClose() {
    if (!exitCommandMode()) qCWarning(lcRadio) << "the radio did not confirm leaving command mode";
}

std::optional<double> Radio::measurementFailed() {
    reportCommFailure(false);
    comm_.clearOutBuffer();
    // Until the radio is back in command mode or the user stops.
    while (!state_.flags.stopRequested) {
        if (enterCommandMode()) {
            reportCommFailure(true);
            break;
        }
        if (exitCommandMode())
            reportCommFailure(true);
        else
            reportCommFailure(false);
    }
    return std::nullopt;
}

}  // namespace kv
