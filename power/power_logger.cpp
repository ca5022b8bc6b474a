// SPDX-License-Identifier: GPL-3.0-or-later
#include "power_logger.h"

#include "termination_signals.h"

namespace kv::power {

namespace {
constexpr std::int64_t kStatusPeriodMs = 250;

std::optional<std::chrono::duration<double>> intervalOf(const LoggerConfig& config) {
    if (!config.intervalSeconds) return std::nullopt;
    return std::chrono::duration<double>(*config.intervalSeconds);
}
}  // namespace

PowerLogger::PowerLogger(SharedState& state, CommControl& comm, Timer& timer1, Timer& reopenTimer,
                         EventLoop& loop, const Clock& clock, LoggerOutput& output,
                         LoggerConfig config)
    : state_(state),
      comm_(comm),
      loop_(loop),
      clock_(clock),
      output_(output),
      config_(std::move(config)),
      session_(state, comm, timer1, reopenTimer, loop, *this, Radio::kHeadlessUnansweredLimit),
      intervals_(intervalOf(config_), config_.combine),
      sweepLoop_(state, session_, clock, sinks_) {
    sinks_.add(intervals_);
}

PowerLogger::~PowerLogger() = default;

bool PowerLogger::openPort() {
    return session_.openPort(state_.settings.port) && comm_.portOpen();
}

void PowerLogger::requestStop() {
    // A second request does not wait for anything.
    if (stopping_) state_.flags.stopRequested = true;
    stopping_ = true;
    // A radio that does not answer would keep the recovery going for good.
    if (session_.inTrouble()) state_.flags.stopRequested = true;
}

void PowerLogger::eraseCommFailure(std::string_view) {}

void PowerLogger::showCommFailure(std::string_view) {
    // The exchange in progress has failed: nothing more to finish.
    if (stopping_) state_.flags.stopRequested = true;
}

void PowerLogger::troubleBegan(LinkTrouble trouble) {
    if (stopping_) return;
    if (trouble == LinkTrouble::DeviceGone) {
        output_.message(config_.deviceName() + " has gone; reopening it about once a second");
    } else {
        output_.message("the radio on " + config_.deviceName() + " does not answer at " +
                        state_.settings.baud +
                        " baud (RTS mode should be disabled in the radio); retrying");
    }
}

void PowerLogger::troubleEnded() {
    ++recovered_;
}

bool PowerLogger::stopDue() const {
    return stopping_ || state_.flags.stopRequested || (config_.once && intervals_.handedOn() > 0);
}

void PowerLogger::betweenPoints() {
    // Signals and the port's reopening are handled here, between two exchanges: a termination
    // signal at once, the rest as often as a reply wait would yield. A yield after every point
    // would cost more than the exchange.
    if (TerminationSignals::pending() || loop_.sinceLastYield() >= Radio::kHeadlessUnansweredLimit)
        loop_.yield();
}

void PowerLogger::showStatus(bool force) {
    const std::int64_t now = clock_.steadyMs();
    if (!force && now - lastStatusMs_ < kStatusPeriodMs) return;
    lastStatusMs_ = now;
    const long long lost = config_.linesLost ? config_.linesLost() : 0;
    output_.status("sweeps " + std::to_string(sweeps_) + ", sweep period " +
                   std::to_string(sweepLoop_.periodMs()) + " ms, lines " +
                   std::to_string(intervals_.handedOn() - lost) +
                   (lost > 0 ? " (" + std::to_string(lost) + " lost)" : "") +
                   ", failures recovered " + std::to_string(recovered_));
}

int PowerLogger::run() {
    state_.flags.stopRequested = false;
    const SweepLoop::Hooks hooks{.measured = nullptr,
                                 .betweenPoints = [this] { betweenPoints(); },
                                 .stopDue = [this] { return stopDue(); },
                                 .settingsWaiting = nullptr};
    if (session_.enterCommandMode()) {
        while (!stopDue() && sweepLoop_.measure(hooks) == SweepLoop::Pass::Complete) {
            ++sweeps_;
            showStatus(false);
        }
    }
    // An unfinished interval still holds complete sweeps worth a line.
    if (!(config_.once && intervals_.handedOn() > 0)) sinks_.finished();
    showStatus(true);
    // Ends exactly as the analyzer does when it closes.
    session_.close();
    const long long lost = config_.linesLost ? config_.linesLost() : 0;
    if (lost == 0) return 0;
    output_.message(std::to_string(lost) + " lines could not be written");
    return 1;
}

}  // namespace kv::power
