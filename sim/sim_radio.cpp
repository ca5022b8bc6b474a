// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim_radio.h"

#include <algorithm>
#include <span>
#include <utility>

#include "sim_levels.h"

namespace kv::sim {

namespace {

constexpr int kAnyByte = -1;
constexpr std::size_t kLongestCommand = 6;
constexpr std::int64_t kBitsPerByte = 10;  // start, 8 data, stop
constexpr std::int64_t kNanosPerSecond = 1'000'000'000;
// Keeps the fault dice apart from the scene's noise even with the same seed.
constexpr std::uint32_t kDiceSalt = 0x5EED0F17U;

struct Pattern {
    RadioCommand command;
    std::array<int, kLongestCommand> bytes;
    std::size_t length;
};

// The radio's commands as the simulated radio reads them: written out here on purpose, apart
// from the analyzer's in radio/, so that a wrong byte on either side shows in the tests.
constexpr Pattern kAttention{RadioCommand::Attention, {0x41, 0x54, 0x2B, 0x2B, 0x2B, 0x0D}, 6};
constexpr Pattern kEscape{RadioCommand::Escape, {0xCC, 0x65}, 2};
constexpr Pattern kChannel{RadioCommand::Channel, {0xB1, kAnyByte, 0x00}, 3};
constexpr Pattern kLevel{RadioCommand::Level, {0x21, 0x02}, 2};
constexpr Pattern kVersion{RadioCommand::Version, {0x56}, 1};
constexpr Pattern kExit{RadioCommand::Exit, {0xCC, 0x41, 0x54, 0x4F, 0x0D}, 5};

constexpr std::array kDataPatterns = {kAttention};
// A repeated "AT+++" is answered again while the radio waits for CC 65.
constexpr std::array kEscapePatterns = {kEscape, kAttention};
constexpr std::array kCommandPatterns = {kChannel, kLevel, kVersion, kExit};

std::span<const Pattern> patternsFor(RadioMode mode) {
    switch (mode) {
        case RadioMode::Data:
            return kDataPatterns;
        case RadioMode::Escape:
            return kEscapePatterns;
        case RadioMode::Command:
            return kCommandPatterns;
    }
    return {};
}

struct Match {
    enum class Kind { None, Partial, Complete } kind = Kind::None;
    RadioCommand command = RadioCommand::Attention;
    std::size_t length = 0;
};

// Matches the start of `pending` against the commands of the mode.
Match matchStart(RadioMode mode, std::string_view pending) {
    bool partial = false;
    for (const Pattern& pattern : patternsFor(mode)) {
        const std::size_t available = std::min(pending.size(), pattern.length);
        bool agrees = true;
        for (std::size_t i = 0; i < available && agrees; ++i) {
            const int expected = pattern.bytes[i];
            agrees = expected == kAnyByte || expected == static_cast<unsigned char>(pending[i]);
        }
        if (!agrees) continue;
        if (available == pattern.length) {
            return {Match::Kind::Complete, pattern.command, pattern.length};
        }
        partial = true;
    }
    return {partial ? Match::Kind::Partial : Match::Kind::None, RadioCommand::Attention, 0};
}

constexpr std::array<std::string_view, kFaultKindCount> kFaultNames = {
    "dead", "wrong-echo", "extra-echo", "short-level", "garbage", "flood", "pause", "vanish"};

std::size_t indexOf(FaultKind kind) {
    return static_cast<std::size_t>(kind);
}

std::string_view modeName(RadioMode mode) {
    switch (mode) {
        case RadioMode::Data:
            return "data";
        case RadioMode::Escape:
            return "escape";
        case RadioMode::Command:
            return "command";
    }
    return "?";
}

}  // namespace

std::string_view faultName(FaultKind kind) {
    return kFaultNames[indexOf(kind)];
}

std::optional<FaultKind> faultFromName(std::string_view name) {
    for (FaultKind kind : kAllFaultKinds) {
        if (faultName(kind) == name) return kind;
    }
    return std::nullopt;
}

std::uint64_t RadioCounters::faultsTotal() const {
    std::uint64_t total = 0;
    for (std::uint64_t count : faults) total += count;
    return total;
}

RadioEmulator::RadioEmulator(RadioConfig config, SceneConfig scene)
    : config_(std::move(config)), scene_(std::move(scene)), dice_(config_.seed ^ kDiceSalt) {
    for (const ScheduledFault& fault : config_.faults.scheduled) {
        std::optional<std::uint64_t> remaining;
        if (fault.count != 0) remaining = fault.count;
        schedules_.push_back({fault.kind, fault.after, remaining});
    }
}

SimTime RadioEmulator::wireTime(std::size_t byteCount, int baud) {
    if (baud <= 0) return SimTime{0};
    const std::int64_t bits = static_cast<std::int64_t>(byteCount) * kBitsPerByte;
    return SimTime{(bits * kNanosPerSecond + baud - 1) / baud};
}

std::vector<Reply> RadioEmulator::receive(std::string_view bytes, SimTime now) {
    std::vector<Reply> replies;
    pending_.append(bytes);
    while (!pending_.empty()) {
        const Match match = matchStart(mode_, pending_);
        if (match.kind == Match::Kind::Partial) break;
        if (match.kind == Match::Kind::None) {
            // Not the start of anything the radio knows: drop one byte and look again, so a
            // command hidden behind stray bytes is still found.
            pending_.erase(0, 1);
            ++counters_.ignoredBytes;
            if (mode_ == RadioMode::Escape) mode_ = RadioMode::Data;
            continue;
        }
        const std::string command = pending_.substr(0, match.length);
        pending_.erase(0, match.length);
        handle(match.command, command, now, replies);
    }
    return replies;
}

void RadioEmulator::handle(RadioCommand command, std::string_view bytes, SimTime now,
                           std::vector<Reply>& out) {
    ++counters_.commands;
    if (isDead(now)) {
        ++counters_.unanswered;
        return;
    }
    deadUntil_.reset();
    if (hits(FaultKind::Dead)) {
        startDead(now, config_.faults.deadFor);
        ++counters_.unanswered;
        return;
    }
    if (hits(FaultKind::Vanish)) {
        ++counters_.unanswered;
        vanishRequest_ = config_.faults.vanishFor;
        unplug(false);
        return;
    }

    std::string reply;
    switch (command) {
        case RadioCommand::Attention:
            reply =
                "\xCC"
                "COM";
            mode_ = RadioMode::Escape;
            break;
        case RadioCommand::Escape:
            reply = "\x65";
            mode_ = RadioMode::Command;
            break;
        case RadioCommand::Channel:
            channel_ = static_cast<unsigned char>(bytes[1]);
            scene_.tuned(channel_);
            reply = bytes;
            if (channel_ == 0) {
                ++counters_.sweeps;
                if (sweepObserver_) sweepObserver_(now);
            }
            if (hits(FaultKind::WrongEcho)) {
                reply[1] = static_cast<char>(static_cast<unsigned char>(reply[1]) + 1);
            }
            if (hits(FaultKind::ExtraEcho)) reply += randomBytes(1, 3);
            break;
        case RadioCommand::Level: {
            const std::uint16_t raw = levelToRaw(scene_.measure(channel_, now));
            reply = {'\x21', '\x02', static_cast<char>(raw & 0xFF), static_cast<char>(raw >> 8)};
            if (hits(FaultKind::ShortLevel)) reply.resize(1 + dice_() % 3);
            break;
        }
        case RadioCommand::Version:
            reply = config_.version;
            break;
        case RadioCommand::Exit:
            reply =
                "\xCC"
                "DAT";
            mode_ = RadioMode::Data;
            break;
    }
    if (hits(FaultKind::Garbage)) reply.insert(0, randomBytes(1, 4));
    if (hits(FaultKind::Flood)) reply.insert(0, randomBytes(4000, 12000));

    SimTime sendAt =
        now + wireTime(bytes.size() + reply.size(), config_.pacing.baud) + config_.pacing.latency;
    if (hits(FaultKind::Pause)) sendAt += config_.faults.pause;
    // One line out: a reply never overtakes the one before it.
    sendAt = std::max(sendAt, lastSendAt_);
    lastSendAt_ = sendAt;
    ++counters_.answered;
    out.push_back({std::move(reply), sendAt});
}

bool RadioEmulator::hits(FaultKind kind) {
    bool hit = false;
    for (Schedule& schedule : schedules_) {
        if (schedule.kind != kind || counters_.commands <= schedule.after) continue;
        if (schedule.remaining && *schedule.remaining == 0) continue;
        if (schedule.remaining) --*schedule.remaining;
        hit = true;
        break;
    }
    std::erase_if(schedules_, [](const Schedule& s) { return s.remaining && *s.remaining == 0; });
    const double probability = config_.faults.probability[indexOf(kind)];
    if (!hit && probability > 0.0) hit = roll() < probability;
    if (hit) ++counters_.faults[indexOf(kind)];
    return hit;
}

double RadioEmulator::roll() {
    return static_cast<double>(dice_()) / 4294967296.0;
}

std::string RadioEmulator::randomBytes(int minCount, int maxCount) {
    const auto span = static_cast<std::uint32_t>(maxCount - minCount + 1);
    const int count = minCount + static_cast<int>(dice_() % span);
    std::string bytes;
    for (int i = 0; i < count; ++i) bytes += static_cast<char>(dice_() & 0xFF);
    return bytes;
}

void RadioEmulator::startDead(SimTime now, std::chrono::milliseconds duration) {
    deadUntil_ = duration.count() > 0 ? now + duration : SimTime::max();
}

void RadioEmulator::goDead(SimTime now, std::chrono::milliseconds duration) {
    ++counters_.faults[indexOf(FaultKind::Dead)];
    startDead(now, duration);
}

void RadioEmulator::revive() {
    deadUntil_.reset();
    std::erase_if(schedules_, [](const Schedule& s) { return s.kind == FaultKind::Dead; });
    config_.faults.probability[indexOf(FaultKind::Dead)] = 0.0;
}

void RadioEmulator::injectNext(FaultKind kind, std::uint64_t count) {
    std::optional<std::uint64_t> remaining;
    if (count != 0) remaining = count;
    schedules_.push_back({kind, counters_.commands, remaining});
}

void RadioEmulator::setProbability(FaultKind kind, double probability) {
    config_.faults.probability[indexOf(kind)] = std::clamp(probability, 0.0, 1.0);
}

void RadioEmulator::clearFaults() {
    schedules_.clear();
    config_.faults.probability = {};
    deadUntil_.reset();
}

bool RadioEmulator::isDead(SimTime now) const {
    return deadUntil_ && now < *deadUntil_;
}

std::optional<std::chrono::milliseconds> RadioEmulator::takeVanishRequest() {
    return std::exchange(vanishRequest_, std::nullopt);
}

void RadioEmulator::unplug(bool injected) {
    if (injected) ++counters_.faults[indexOf(FaultKind::Vanish)];
    mode_ = RadioMode::Data;
    channel_ = 0;
    pending_.clear();
}

std::string formatStats(const RadioEmulator& radio) {
    const RadioCounters& c = radio.counters();
    std::string line =
        "commands=" + std::to_string(c.commands) + " answered=" + std::to_string(c.answered) +
        " unanswered=" + std::to_string(c.unanswered) + " sweeps=" + std::to_string(c.sweeps) +
        " faults=" + std::to_string(c.faultsTotal());
    for (FaultKind kind : kAllFaultKinds) {
        line += ' ';
        line += faultName(kind);
        line += '=' + std::to_string(c.fault(kind));
    }
    line += " ignored=" + std::to_string(c.ignoredBytes);
    line += " mode=";
    line += modeName(radio.mode());
    line += " channel=" + std::to_string(radio.channel());
    return line;
}

}  // namespace kv::sim
