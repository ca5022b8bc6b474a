// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim_server.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "number_text.h"

namespace kv::sim {

namespace {

// Signals are blocked except inside ppoll, so the handler can only run there; a flag is all
// it may touch.
volatile std::sig_atomic_t stopSignal = 0;

extern "C" void onStopSignal(int signal) {
    stopSignal = signal;
}

constexpr std::array kStopSignals = {SIGINT, SIGTERM, SIGHUP};
constexpr std::size_t kReadChunk = 4096;

SimTime monotonicNow() {
    return std::chrono::duration_cast<SimTime>(std::chrono::steady_clock::now().time_since_epoch());
}

std::string millisText(SimTime time) {
    return fixedText(std::chrono::duration<double, std::milli>(time).count(), 3);
}

void say(const std::string& line) {
    std::fputs((line + '\n').c_str(), stdout);
    std::fflush(stdout);
}

}  // namespace

SimServer::SimServer(SimOptions options)
    : options_(std::move(options)), radio_(options_.radio, options_.scene) {
    radio_.setSweepObserver([this](SimTime now) {
        if (sweepLog_.is_open()) sweepLog_ << millisText(now) << '\n' << std::flush;
    });
}

int SimServer::run() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigset_t blocked;
    sigemptyset(&blocked);
    for (int signal : kStopSignals) {
        ::sigaction(signal, &action, nullptr);
        sigaddset(&blocked, signal);
    }
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t pollMask;
    ::sigprocmask(SIG_BLOCK, &blocked, &pollMask);
    for (int signal : kStopSignals) sigdelset(&pollMask, signal);

    if (!options_.logPath.empty()) {
        wireLog_.open(options_.logPath, std::ios::out | std::ios::trunc);
        if (!wireLog_) {
            std::fprintf(stderr, "kv3710-sim: cannot write %s\n", options_.logPath.c_str());
            return 1;
        }
    }
    if (!options_.sweepLogPath.empty()) {
        sweepLog_.open(options_.sweepLogPath, std::ios::out | std::ios::trunc);
        if (!sweepLog_) {
            std::fprintf(stderr, "kv3710-sim: cannot write %s\n", options_.sweepLogPath.c_str());
            return 1;
        }
    }
    if (!options_.linkPath.empty()) link_ = std::make_unique<DeviceLink>(options_.linkPath);
    if (!options_.byIdFolder.empty()) {
        std::error_code ignored;  // a folder that cannot be made fails the link below
        std::filesystem::create_directories(options_.byIdFolder, ignored);
        byIdLink_ = std::make_unique<DeviceLink>(options_.byIdFolder + '/' + options_.byIdName);
    }
    std::string error;
    if (!openDevice(error)) {
        std::fprintf(stderr, "kv3710-sim: %s\n", error.c_str());
        return 1;
    }
    say(device_->devicePath());
    logEvent(monotonicNow(), "device " + device_->devicePath());

    while (stopSignal == 0) {
        SimTime now = monotonicNow();
        if (returnAt_ && now >= *returnAt_) {
            returnAt_.reset();
            if (openDevice(error)) {
                logEvent(now, "returned " + device_->devicePath());
            } else {
                std::fprintf(stderr, "kv3710-sim: %s\n", error.c_str());
            }
        }
        sendDueReplies(now);

        std::array<pollfd, 2> fds{};
        nfds_t count = 0;
        const bool deviceOpen = device_.has_value();
        if (deviceOpen) {
            fds[count++] = {device_->master(),
                            static_cast<short>(POLLIN | (unsent_.empty() ? 0 : POLLOUT)), 0};
        }
        const nfds_t controlIndex = count;
        if (controlOpen_) fds[count++] = {STDIN_FILENO, POLLIN, 0};

        timespec timeout{};
        const timespec* timeoutPointer = nullptr;
        if (const auto wakeUp = nextWakeUp()) {
            const auto wait = std::max(*wakeUp - now, SimTime{0});
            timeout.tv_sec = static_cast<time_t>(wait.count() / 1'000'000'000);
            timeout.tv_nsec = static_cast<long>(wait.count() % 1'000'000'000);
            timeoutPointer = &timeout;
        }
        if (wireLog_.is_open()) wireLog_.flush();
        const int ready = ::ppoll(fds.data(), count, timeoutPointer, &pollMask);
        if (ready < 0) {
            if (errno == EINTR) continue;
            std::fprintf(stderr, "kv3710-sim: poll: %s\n", std::strerror(errno));
            return 1;
        }
        now = monotonicNow();
        if (deviceOpen && device_) {
            if (fds[0].revents & POLLIN) readDevice(now);
            if (device_ && (fds[0].revents & POLLOUT)) writePending();
        }
        if (controlOpen_ && (fds[controlIndex].revents & (POLLIN | POLLHUP | POLLERR))) {
            readControl(now);
        }
    }
    logEvent(monotonicNow(), "stopped");
    return 0;
}

bool SimServer::openDevice(std::string& error) {
    device_ = PseudoTerminal::open(error);
    if (!device_) return false;
    for (const auto& link : {link_.get(), byIdLink_.get()}) {
        if (link && !link->pointTo(device_->devicePath(), error)) {
            device_.reset();
            return false;
        }
    }
    return true;
}

void SimServer::closeDevice() {
    // As udev does when an adapter is pulled out; the plain link is left dangling.
    if (byIdLink_) byIdLink_->remove();
    device_.reset();
    scheduled_.clear();
    unsent_.clear();
}

void SimServer::readDevice(SimTime now) {
    std::array<char, kReadChunk> buffer{};
    const ssize_t got = ::read(device_->master(), buffer.data(), buffer.size());
    if (got <= 0) return;
    const std::string_view bytes(buffer.data(), static_cast<std::size_t>(got));
    logBytes(now, "in ", bytes);
    for (Reply& reply : radio_.receive(bytes, now)) scheduled_.push_back(std::move(reply));
    if (const auto absence = radio_.takeVanishRequest()) {
        logEvent(now, "vanish (fault)");
        closeDevice();
        if (absence->count() > 0) returnAt_ = now + *absence;
        return;
    }
    sendDueReplies(now);
}

void SimServer::sendDueReplies(SimTime now) {
    if (!device_) return;
    bool queued = false;
    while (!scheduled_.empty() && scheduled_.front().sendAt <= now) {
        logBytes(now, "out", scheduled_.front().bytes);
        unsent_ += scheduled_.front().bytes;
        scheduled_.pop_front();
        queued = true;
    }
    if (queued) writePending();
}

void SimServer::writePending() {
    while (!unsent_.empty()) {
        const ssize_t written = ::write(device_->master(), unsent_.data(), unsent_.size());
        if (written <= 0) return;  // full: poll reports when it can take more
        unsent_.erase(0, static_cast<std::size_t>(written));
    }
}

std::optional<SimTime> SimServer::nextWakeUp() const {
    std::optional<SimTime> wakeUp = returnAt_;
    if (device_ && !scheduled_.empty()) {
        const SimTime due = scheduled_.front().sendAt;
        if (!wakeUp || due < *wakeUp) wakeUp = due;
    }
    return wakeUp;
}

void SimServer::readControl(SimTime now) {
    std::array<char, kReadChunk> buffer{};
    const ssize_t got = ::read(STDIN_FILENO, buffer.data(), buffer.size());
    if (got <= 0) {
        if (got == 0 || (errno != EINTR && errno != EAGAIN)) controlOpen_ = false;
        return;
    }
    controlLine_.append(buffer.data(), static_cast<std::size_t>(got));
    std::size_t end = 0;
    while ((end = controlLine_.find('\n')) != std::string::npos) {
        const std::string line = controlLine_.substr(0, end);
        controlLine_.erase(0, end + 1);
        const ControlResult result = parseControl(line);
        if (result.command) {
            execute(*result.command, now);
        } else if (!result.error.empty()) {
            say("error: " + result.error);
        }
    }
}

void SimServer::execute(const ControlCommand& command, SimTime now) {
    using Kind = ControlCommand::Kind;
    switch (command.kind) {
        case Kind::Dead:
            radio_.goDead(now, command.duration);
            logEvent(now, "dead " + std::to_string(command.duration.count()) + " ms");
            break;
        case Kind::Alive:
            radio_.revive();
            logEvent(now, "alive");
            break;
        case Kind::Vanish:
            if (device_) {
                closeDevice();
                radio_.unplug(true);
                logEvent(now, "vanish");
            }
            returnAt_.reset();
            break;
        case Kind::Return: {
            returnAt_.reset();
            std::string error;
            if (!device_ && !openDevice(error)) {
                say("error: " + error);
                return;
            }
            logEvent(now, "returned " + device_->devicePath());
            say(device_->devicePath());
            return;
        }
        case Kind::Stats:
            say(formatStats(radio_));
            return;
        case Kind::Fault:
            for (FaultKind kind : command.faults) radio_.injectNext(kind, command.count);
            break;
        case Kind::FaultProb:
            for (FaultKind kind : command.faults) radio_.setProbability(kind, command.probability);
            break;
        case Kind::Clear:
            radio_.clearFaults();
            break;
    }
    say("ok");
}

void SimServer::logBytes(SimTime now, std::string_view direction, std::string_view bytes) {
    if (!wireLog_.is_open()) return;
    static constexpr std::string_view kHex = "0123456789ABCDEF";
    std::string line = millisText(now) + ' ' + std::string(direction);
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        line += ' ';
        line += kHex[byte >> 4];
        line += kHex[byte & 0x0F];
    }
    wireLog_ << line << '\n';
}

void SimServer::logEvent(SimTime now, std::string_view event) {
    if (wireLog_.is_open()) wireLog_ << millisText(now) << " -- " << event << '\n';
}

}  // namespace kv::sim
