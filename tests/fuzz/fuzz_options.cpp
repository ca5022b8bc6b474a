// SPDX-License-Identifier: GPL-3.0-or-later
// Any argument vector (the input's pieces between NUL bytes) for the analyzer, the simulator
// and the logger, and any lines for the simulator's standard input: options or an error, and
// what is accepted runs the emulator, fits the clocks and gives a logger line that replays.
#include <chrono>
#include <climits>

#include "command_line.h"
#include "fuzz_check.h"
#include "power_options.h"
#include "settings_store.h"
#include "sim_options.h"
#include "spectrum_model.h"
#include "sweep_log.h"

using namespace std::chrono_literals;

namespace {

// Command mode, channel 5 and its level; a year after the machine started (a monotonic clock).
const std::string kSweep("AT+++\r\xCC\x65\xB1\x05\x00\x21\x02", 11);
constexpr kv::sim::SimTime kNow = 24h * 365;

void simulator(const std::vector<std::string>& args, std::string_view text) {
    const kv::sim::OptionsResult parsed = kv::sim::parseOptions(args);
    fuzzCheck(parsed.options.has_value() == parsed.error.empty(),
              "the simulator: options or error");
    if (parsed.options)
        for (const kv::sim::Reply& reply :
             kv::sim::RadioEmulator(parsed.options->radio, parsed.options->scene)
                 .receive(kSweep, kNow))
            fuzzCheck(reply.sendAt >= kNow, "a reply goes after its command");
    kv::sim::RadioEmulator radio({}, {});
    for (std::string_view line : kv::sim::split(text, "\n")) {
        const kv::sim::ControlResult control = kv::sim::parseControl(line);
        fuzzCheck(!control.command || control.error.empty(), "a command or an error");
        if (control.command && control.command->kind == kv::sim::ControlCommand::Kind::Dead)
            radio.goDead(kNow, control.command->duration);
    }
}

void logger(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        const auto duration = kv::power::parseDuration(arg);
        fuzzCheck(!duration || (duration->count() > 0 && duration->count() <= INT_MAX),
                  "a duration is 1 ms to 24 days");
    }
    const kv::power::OptionsResult parsed = kv::power::parseOptions(args);
    fuzzCheck(parsed.options.has_value() == parsed.error.empty(), "the logger: options or error");
    if (!parsed.options) return;
    const kv::power::PowerOptions& o = *parsed.options;
    fuzzCheck(!o.device || !o.port, "one port");
    fuzzCheck(!o.intervalSeconds || *o.intervalSeconds * 1000 <= INT_MAX,
              "an interval of 24 days at most");
    kv::SettingValues band;
    band.centerFrequency = o.centerMHz.value_or(915);
    band.span = o.spanMHz.value_or(26);
    band.numberOfPoints = static_cast<std::int16_t>(o.points.value_or(50));
    fuzzCheck(band.numberOfPoints >= 1 && band.numberOfPoints <= kv::kMaxPoints, "1 to 256 points");
    const std::vector<double> levels(static_cast<std::size_t>(band.numberOfPoints), -60.5);
    const kv::sim::ReplayLoad replay =
        kv::sim::parseReplay(kv::formatSweepLine(band, {}, 1, levels));
    // Unless the band is too narrow for the two decimals of its Hz step.
    fuzzCheck((replay.rows.size() == 1 && replay.rows[0].levelsDb == levels) ||
                  replay.error.ends_with("Hz step is no positive number"),
              "the logger's line for the band replays");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> args;
    for (std::string_view piece : kv::sim::split(text, std::string_view("\0", 1)))
        if (size > 0) args.emplace_back(piece);
    std::vector<char*> argv{const_cast<char*>("kv3710-analyzer")};
    for (std::string& arg : args) argv.push_back(arg.data());
    const kv::CommandLine line = kv::parseArguments(int(argv.size()), argv.data());
    fuzzCheck((line.request == kv::CommandLine::Request::Error) != line.error.empty(),
              "the analyzer says what is wrong, and only then");
    simulator(args, text);
    logger(args);
    return 0;
}
