// SPDX-License-Identifier: GPL-3.0-or-later
#include "radio_session.h"

#include "serial_setup.h"

namespace kv {

RadioSession::RadioSession(SharedState& state, CommControl& comm, Timer& replyTimer,
                           Timer& reopenTimer, EventLoop& loop, LinkReport& report,
                           std::chrono::milliseconds unansweredLimit)
    : state_(state),
      comm_(comm),
      reopenTimer_(reopenTimer),
      loop_(loop),
      report_(report),
      radio_(state, comm, replyTimer, loop, *this, unansweredLimit) {
    reopenTimer_.setInterval(kReopenPeriodMs);
    reopenTimer_.setOnTick([this] { reopenLostPort(); });
    reopenTimer_.setEnabled(true);
}

RadioSession::~RadioSession() {
    reopenTimer_.setOnTick(nullptr);
}

bool RadioSession::openPort(int port) {
    SettingValues& s = state_.settings;
    s.baud = rateForBaud(s.baud);
    const std::string line = prepareLineSettings(s);
    if (!configureAndOpen(comm_, port, line)) return false;
    comm_.setHandshaking(0);
    comm_.setRtsEnable(false);
    return true;
}

bool RadioSession::enterCommandMode() {
    if (radio_.enterCommandMode()) return true;
    for (;;) {
        if (state_.flags.stopRequested) return false;
        if (radio_.enterCommandMode()) {
            radio_.reportCommFailure(true);
            return true;
        }
        radio_.reportCommFailure(false);
        // Whether the radio confirmed does not matter: the next attempt enters again.
        static_cast<void>(radio_.exitCommandMode());
    }
}

std::optional<double> RadioSession::measure(int point) {
    auto level = radio_.measurePoint(point);
    if (!level && !state_.flags.stopRequested) level = radio_.measurePoint(point);
    if (level && inTrouble_) {
        inTrouble_ = false;
        report_.troubleEnded();
    }
    return level;
}

void RadioSession::releaseBeforePortChange() {
    // Without a sweep run the radio was never put into command mode: a "V" would go out as data.
    if (comm_.portOpen() && !state_.flags.stopRequested) radio_.exitCommandModeAtClose();
}

void RadioSession::close(const std::function<void()>& beforeClosing) {
    closed_ = true;
    reopenTimer_.setEnabled(false);
    // With the port closed there is no radio to talk to.
    if (comm_.portOpen()) radio_.exitCommandModeAtClose();
    state_.flags.stopRequested = true;
    loop_.yield();
    if (beforeClosing) beforeClosing();
    comm_.setHandshaking(0);
    comm_.setRtsEnable(false);
    if (comm_.portOpen()) comm_.setPortOpen(false);
}

void RadioSession::eraseCommFailure(std::string_view shown) {
    report_.eraseCommFailure(shown);
}

void RadioSession::showCommFailure(std::string_view message) {
    if (!inTrouble_) {
        inTrouble_ = true;
        report_.troubleBegan(comm_.portLost() ? LinkTrouble::DeviceGone : LinkTrouble::NoAnswer);
    }
    report_.showCommFailure(message);
}

void RadioSession::reopenLostPort() {
    if (closed_ || state_.flags.stopRequested || comm_.portOpen() || !comm_.portLost()) return;
    comm_.setPortOpen(true);
}

}  // namespace kv
