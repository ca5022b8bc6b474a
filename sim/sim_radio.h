// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "sim_scene.h"
#include "sim_time.h"

namespace kv::sim {

// Everything that can go wrong with the radio on purpose.
enum class FaultKind {
    Dead,        // no reply at all, for a while or for good
    WrongEcho,   // the channel echo names another channel
    ExtraEcho,   // stray bytes follow the channel echo
    ShortLevel,  // the level reply is cut after 1 to 3 bytes
    Garbage,     // 1 to 4 random bytes come before a reply
    Flood,       // thousands of random bytes come before a reply (a line gone mad)
    Pause,       // a reply comes only after the pause time (longer than the program waits)
    Vanish,      // the device disappears (an unplugged USB adapter); the command is lost
};
inline constexpr std::size_t kFaultKindCount = 8;
inline constexpr std::array<FaultKind, kFaultKindCount> kAllFaultKinds = {
    FaultKind::Dead,    FaultKind::WrongEcho, FaultKind::ExtraEcho, FaultKind::ShortLevel,
    FaultKind::Garbage, FaultKind::Flood,     FaultKind::Pause,     FaultKind::Vanish};

// "dead", "wrong-echo", "extra-echo", "short-level", "garbage", "flood", "pause", "vanish".
std::string_view faultName(FaultKind kind);
std::optional<FaultKind> faultFromName(std::string_view name);

// Hits `count` commands the fault applies to (0: all of them), the first one being the first
// such command after `after` commands of any kind have arrived.
struct ScheduledFault {
    FaultKind kind = FaultKind::Dead;
    std::uint64_t after = 0;
    std::uint64_t count = 1;
};

struct FaultConfig {
    std::vector<ScheduledFault> scheduled;
    // Chance per command the fault applies to, 0..1.
    std::array<double, kFaultKindCount> probability{};
    std::chrono::milliseconds deadFor{0};  // 0: for good
    std::chrono::milliseconds pause{2500};
    std::chrono::milliseconds vanishFor{0};  // 0: until the device is brought back by hand
};

struct PacingConfig {
    int baud = 0;  // 0: no wire time
    std::chrono::milliseconds latency{0};
};

struct RadioConfig {
    PacingConfig pacing;
    FaultConfig faults;
    std::uint32_t seed = 1;          // of the fault dice, independent of the scene's noise
    std::string version = "V1.0\r";  // the answer to "V"; must start with 'V'
};

// Bytes the radio sends, and the earliest time they may be handed to the line.
struct Reply {
    std::string bytes;
    SimTime sendAt{};
};

struct RadioCounters {
    std::uint64_t commands = 0;    // recognised commands, answered or not
    std::uint64_t answered = 0;    // commands that got a reply
    std::uint64_t unanswered = 0;  // commands swallowed by a dead or vanishing radio
    std::uint64_t sweeps = 0;      // channel 0 set
    std::uint64_t ignoredBytes = 0;
    std::array<std::uint64_t, kFaultKindCount> faults{};  // injections per kind

    std::uint64_t fault(FaultKind kind) const { return faults[static_cast<std::size_t>(kind)]; }
    std::uint64_t faultsTotal() const;
};

// The commands the radio understands.
enum class RadioCommand {
    Attention,  // 41 54 2B 2B 2B 0D, "AT+++" and carriage return
    Escape,     // CC 65
    Channel,    // B1 ch 00
    Level,      // 21 02
    Version,    // 56, "V"
    Exit,       // CC 41 54 4F 0D, CC "ATO" and carriage return
};

enum class RadioMode {
    Data,     // transparent: only "AT+++" and carriage return is heard
    Escape,   // "AT+++" confirmed, waiting for CC 65
    Command,  // answers channel, level, version and exit commands
};

// The KV3710 as a byte-stream state machine. Bytes may arrive split or merged in any way;
// commands are reassembled, unknown bytes are dropped one at a time so the next command is
// still found. Every answered command yields one Reply; the caller sends it at `sendAt`.
class RadioEmulator {
  public:
    RadioEmulator(RadioConfig config, SceneConfig scene);

    std::vector<Reply> receive(std::string_view bytes, SimTime now);

    // Live fault control.
    void goDead(SimTime now, std::chrono::milliseconds duration);  // 0: for good
    void revive();  // answers again, and drops dead schedules and chances
    // The next `count` commands the fault applies to (0: all from now on).
    void injectNext(FaultKind kind, std::uint64_t count);
    void setProbability(FaultKind kind, double probability);
    void clearFaults();  // no schedules, no chances, alive
    bool isDead(SimTime now) const;

    // Set when a vanish fault hit; the caller closes the device, and brings it back after the
    // returned time (0: only when told to). Reading clears it.
    std::optional<std::chrono::milliseconds> takeVanishRequest();
    // The device went away: the radio loses power, so it forgets its mode, channel and any
    // half-received command. Counted as a vanish fault when `injected`.
    void unplug(bool injected);

    // Called with the arrival time whenever channel 0 is set (a sweep starts).
    void setSweepObserver(std::function<void(SimTime)> observer) {
        sweepObserver_ = std::move(observer);
    }

    RadioMode mode() const { return mode_; }
    int channel() const { return channel_; }
    const RadioCounters& counters() const { return counters_; }
    const Scene& scene() const { return scene_; }
    const RadioConfig& config() const { return config_; }

    // Time the line needs for `byteCount` bytes at `baud` (10 bits each), rounded up.
    static SimTime wireTime(std::size_t byteCount, int baud);

  private:
    struct Schedule {
        FaultKind kind;
        std::uint64_t after;
        std::optional<std::uint64_t> remaining;  // nullopt: unlimited
    };

    void handle(RadioCommand command, std::string_view bytes, SimTime now, std::vector<Reply>& out);
    // Decides whether the fault hits the current command, and counts it when it does.
    bool hits(FaultKind kind);
    void startDead(SimTime now, std::chrono::milliseconds duration);
    double roll();
    std::string randomBytes(int minCount, int maxCount);

    RadioConfig config_;
    Scene scene_;
    std::vector<Schedule> schedules_;
    std::mt19937 dice_;
    RadioMode mode_ = RadioMode::Data;
    int channel_ = 0;
    std::string pending_;
    std::optional<SimTime> deadUntil_;
    std::optional<std::chrono::milliseconds> vanishRequest_;
    SimTime lastSendAt_{};
    RadioCounters counters_;
    std::function<void(SimTime)> sweepObserver_;
};

// One line of counters in key=value form, e.g. for the "stats" control command.
std::string formatStats(const RadioEmulator& radio);

}  // namespace kv::sim
