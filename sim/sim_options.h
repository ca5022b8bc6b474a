// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim_radio.h"
#include "sim_scene.h"

namespace kv::sim {

// Everything the kv3710-sim command line sets.
struct SimOptions {
    SceneConfig scene;
    RadioConfig radio;
    std::string linkPath;
    // --by-id: a udev-like link to the device in this folder, so that it looks like a USB
    // adapter; removed while the device is gone.
    std::string byIdFolder;
    std::string byIdName;
    std::string logPath;
    std::string sweepLogPath;
    std::string replayPath;  // the scene's levels come from this sweep log
    bool help = false;
    bool version = false;
};

struct OptionsResult {
    std::optional<SimOptions> options;
    std::string error;  // set when options is empty
};

// `args` without the program name. Accepts "--name VALUE" and "--name=VALUE".
OptionsResult parseOptions(std::span<const std::string> args);
std::string_view helpText();
// Every long option parseOptions understands, without the leading dashes.
std::span<const std::string_view> optionNames();

// A command read from standard input while the simulator runs.
struct ControlCommand {
    enum class Kind { Dead, Alive, Vanish, Return, Stats, Fault, FaultProb, Clear };
    Kind kind = Kind::Stats;
    std::chrono::milliseconds duration{0};
    std::vector<FaultKind> faults;  // Fault: one kind; FaultProb: one kind or all reply faults
    std::uint64_t count = 1;
    double probability = 0.0;
};

struct ControlResult {
    std::optional<ControlCommand> command;
    std::string error;  // set when command is empty; both empty for a blank line
};

ControlResult parseControl(std::string_view line);

}  // namespace kv::sim
