// SPDX-License-Identifier: GPL-3.0-or-later
#include "power_logger.h"

#include <algorithm>

#include "log_categories.h"
#include "spectrum_model.h"
#include "termination_signals.h"

namespace kv::power {

namespace {
constexpr auto kStatusPeriod = std::chrono::milliseconds(250);
}

PowerLogger::PowerLogger(SharedState& state, CommControl& comm, Timer& timer1, Timer& reopenTimer,
                         EventLoop& loop, LoggerOutput& output, LoggerConfig config)
    : state_(state),
      comm_(comm),
      loop_(loop),
      output_(output),
      config_(std::move(config)),
      session_(state, comm, timer1, reopenTimer, loop, *this, Radio::kHeadlessUnansweredLimit),
      combiner_(static_cast<std::size_t>(usablePointCount(state)), config_.combine) {}

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
    return stopping_ || state_.flags.stopRequested;
}

bool PowerLogger::measureSweep(std::vector<double>& levels) {
    const int points = static_cast<int>(levels.size());
    bool complete = true;
    for (int i = 0; i < points; ++i) {
        if (const auto level = session_.measure(i))
            levels[static_cast<std::size_t>(i)] = *level;
        else
            complete = false;
        // Signals and the port's reopening are handled here, between two exchanges: a
        // termination signal at once, the rest as often as a reply wait would yield. A yield
        // after every point would cost more than the exchange.
        if (TerminationSignals::pending() ||
            loop_.sinceLastYield() >= Radio::kHeadlessUnansweredLimit)
            loop_.yield();
        if (stopDue() && i + 1 < points) return false;
    }
    return complete;
}

void PowerLogger::writeCombined(std::chrono::system_clock::time_point begun, int samples,
                                const std::vector<double>& levels) {
    if (config_.writeLines)
        writeLine(formatSweepLine(state_.settings, localLineTime(begun), samples, levels));
    // A full disk stops neither the sweep nor the publishing.
    if (config_.publish) config_.publish(begun, samples, levels);
    ++lines_;
}

void PowerLogger::writeLine(const std::string& line) {
    const std::string error = output_.writeLine(line);
    if (error.empty()) {
        if (lostInEpisode_ > 0) {
            output_.message("lines are written again; " + std::to_string(lostInEpisode_) +
                            " were lost");
        }
        lostInEpisode_ = 0;
        return;
    }
    // One message for the episode; each line is tried again.
    if (lostInEpisode_++ == 0) {
        qCWarning(lcFiles, "%s", error.c_str());
        output_.message(error + "; lines are lost until there is room");
    }
    ++linesLost_;
}

void PowerLogger::finishInterval(SteadyClock::time_point now, bool last) {
    if (!intervalBegun_) return;
    if (!last && now < intervalEnd_) return;
    if (combiner_.samples() > 0)
        writeCombined(*intervalBegun_, combiner_.samples(), combiner_.levels());
    combiner_.clear();
    intervalBegun_.reset();
}

void PowerLogger::showStatus(bool force) {
    const auto now = SteadyClock::now();
    if (!force && now - lastStatus_ < kStatusPeriod) return;
    lastStatus_ = now;
    output_.status("sweeps " + std::to_string(sweeps_) + ", sweep period " +
                   std::to_string(sweepMs_) + " ms, lines " + std::to_string(lines_ - linesLost_) +
                   (linesLost_ > 0 ? " (" + std::to_string(linesLost_) + " lost)" : "") +
                   ", failures recovered " + std::to_string(recovered_));
}

int PowerLogger::run() {
    auto& flags = state_.flags;
    flags.stopRequested = false;
    const auto points = static_cast<std::size_t>(usablePointCount(state_));
    const auto interval = std::chrono::duration_cast<SteadyClock::duration>(
        std::chrono::duration<double>(config_.intervalSeconds.value_or(0.0)));

    const bool inCommandMode = session_.enterCommandMode();
    const auto done = [this] { return config_.once && lines_ > 0; };
    while (inCommandMode && !stopDue() && !done()) {
        const auto begun = std::chrono::system_clock::now();
        const auto sweepStart = SteadyClock::now();
        if (!intervalBegun_) {
            intervalBegun_ = begun;
            // Intervals follow each other without drifting, unless the logger fell behind.
            const bool first = intervalEnd_ == SteadyClock::time_point{};
            intervalEnd_ = !first && intervalEnd_ + interval > sweepStart ? intervalEnd_ + interval
                                                                          : sweepStart + interval;
        }
        std::vector<double> levels(points, 0.0);
        const bool complete = measureSweep(levels);
        if (!complete) {
            if (stopDue()) break;
            // A sweep with a point that failed is left out of its interval.
            finishInterval(SteadyClock::now(), false);
            continue;
        }
        const auto end = SteadyClock::now();
        if (lastSweepEnd_) {
            sweepMs_ =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - *lastSweepEnd_).count();
        }
        lastSweepEnd_ = end;
        ++sweeps_;
        combiner_.add(levels);
        finishInterval(end, false);
        showStatus(false);
    }
    // An unfinished interval still holds complete sweeps worth a line.
    if (config_.intervalSeconds && !done()) {
        finishInterval(SteadyClock::now(), true);
    }
    showStatus(true);
    // Ends exactly as the analyzer does when it closes.
    session_.close();
    if (linesLost_ == 0) return 0;
    output_.message(std::to_string(linesLost_) + " lines could not be written");
    return 1;
}

}  // namespace kv::power
