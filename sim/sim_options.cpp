// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim_options.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <limits>
#include <vector>

#include "parse_number.h"

namespace kv::sim {

namespace {

constexpr std::array<std::string_view, 20> kOptionNames = {
    "help",       "version", "link",        "by-id",        "log",      "sweep-log", "version-text",
    "seed",       "replay",  "noise-floor", "noise-spread", "carrier",  "hopper",    "baud",
    "latency-ms", "fault",   "fault-prob",  "dead-ms",      "pause-ms", "vanish-ms"};

constexpr std::string_view kHelp =
    R"(Usage: kv3710-sim [OPTION]...
Simulated KV3710 radio on a pseudo-terminal. Prints the terminal's device path as the
first line of standard output, then answers the radio protocol on it until SIGINT or SIGTERM.

Device:
  --link PATH              keep a symbolic link PATH pointing at the device (replaced
                           atomically, also after the device comes back; removed on exit)
  --by-id DIR[:NAME]       look like a USB adapter: a link NAME in DIR to the device, as
                           udev makes in /dev/serial/by-id (default NAME
                           usb-Tessaryn_KV3710_Radio_KV0001-if00-port0); it goes while
                           the device is gone and on exit
  --log FILE               write every byte in and out, time-stamped, as hex lines
  --sweep-log FILE         write a monotonic time stamp (ms) each time channel 0 is set
  --version-text TEXT      the answer to "V" (default "V1.0" and carriage return);
                           must start with V

Scene (what the antenna sees; levels are whole dB, clamped to -97..-42):
  --seed N                 seed of the noise and of the fault dice (default 1)
  --replay FILE            take the levels from a sweep log as kv3710-power writes it
                           ("date, time, Hz low, Hz high, Hz step, samples, dB, ..."):
                           one line per sweep (a sweep starts when channel 0 is set after
                           a level was read), looping at the end, without noise. Each
                           channel takes the level of the line's bin nearest to its
                           frequency, the channels spread over the line's band as the
                           analyzer spreads its points, as many as the sweep before had
                           (the first sweep takes the bins one to one). Not combined
                           with the other scene options
  --noise-floor DB         mean noise level (default -95)
  --noise-spread DB        noise is uniform within floor +- spread (default 2)
  --carrier CH:LEVEL[:WIDTH][@FROM-UNTIL[~DB]]
                           a fixed carrier on channel CH (0..255) at LEVEL dB, WIDTH
                           channels wide (default 1; 6 dB down at half the width);
                           repeatable. With @FROM-UNTIL it is on only from sweep FROM
                           up to (not in) sweep UNTIL, sweeps counted from 0 as channel
                           0 is set after a level was read; with ~DB it is DB lower in
                           every odd sweep
  --hopper[=PERIOD_MS:LEVEL[:FIRST-LAST]]
                           a transmitter jumping to a random channel of FIRST..LAST every
                           PERIOD_MS (default 250:-55:0-49); the value may also follow
                           after a blank

Pacing:
  --baud N                 each reply waits for the wire time of the command and the reply
                           at N baud, 10 bits per byte (default 0: no wire time)
  --latency-ms MS          fixed extra delay before each reply (default 0)

Times in ms are at most 2147483647 (some 24 days).

Faults (KIND is one of dead, wrong-echo, extra-echo, short-level, garbage, flood, pause,
vanish):
  --fault KIND[:AFTER[:COUNT]]
                           inject KIND into COUNT commands it applies to (default 1,
                           0 = all), starting after AFTER commands (default 0); repeatable.
                           dead: no reply for --dead-ms; wrong-echo: the channel echo names
                           the next channel; extra-echo: 1-3 bytes follow the echo;
                           short-level: the level reply is cut after 1-3 bytes; garbage:
                           1-4 random bytes before a reply; flood: 4000-12000 random bytes
                           before a reply; pause: the reply comes --pause-ms
                           late; vanish: the device disappears for --vanish-ms
  --fault-prob KIND:P      inject KIND with probability P (0..1) per command it applies
                           to; KIND "all" sets wrong-echo, extra-echo, short-level, garbage
                           and pause; repeatable
  --dead-ms MS             how long a dead radio stays silent (default 0: for good)
  --pause-ms MS            delay of the pause fault (default 2500)
  --vanish-ms MS           absence after a vanish fault (default 0: until "return")
  --help                   show this text and exit
  --version                show the version and exit

Examples:
  kv3710-sim --link /tmp/kv3710 --carrier 20:-50:3 --hopper 500:-60 --baud 115200
  kv3710-sim --fault dead:0 --dead-ms 5000     (silent for 5 s from the first command)
  kv3710-sim --fault-prob all:0.001 --seed 7   (soak test)

Commands on standard input, one per line (each answers one line on standard output):
  dead MS                  stop answering for MS ms (0: for good)          -> ok
  alive                    answer again; drops scheduled and random dead   -> ok
  vanish                   close the device; the link is left dangling     -> ok
  return                   open a new device and re-point the link         -> its path
  fault KIND [COUNT]       inject KIND into the next COUNT commands it applies
                           to (default 1, 0 = all from now on)             -> ok
  fault-prob KIND P        set the probability of KIND ("all" as above)    -> ok
  clear                    no faults at all                                -> ok
  stats                    counters: commands= answered= unanswered= sweeps= faults=
                           one key per fault kind, ignored= mode= channel=
End of input is ignored; the simulator keeps running.
)";

constexpr std::string_view kDefaultByIdName = "usb-Tessaryn_KV3710_Radio_KV0001-if00-port0";

constexpr std::array<FaultKind, 5> kReplyFaults = {FaultKind::WrongEcho, FaultKind::ExtraEcho,
                                                   FaultKind::ShortLevel, FaultKind::Garbage,
                                                   FaultKind::Pause};

// The emulator adds a time to its clock, nanoseconds since the machine started: int
// milliseconds (some 24 days) leave it centuries of room.
std::optional<std::chrono::milliseconds> parseMillis(std::string_view text) {
    const auto value = parseNumber<std::int64_t>(text);
    if (!value || *value < 0 || *value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return std::chrono::milliseconds{*value};
}

std::optional<double> parseProbability(std::string_view text) {
    const auto value = parseNumber<double>(text);
    if (!value || *value < 0.0 || *value > 1.0) return std::nullopt;
    return value;
}

std::optional<Carrier> parseCarrier(std::string_view text) {
    Carrier carrier;
    if (const auto at = text.find('@'); at != std::string_view::npos) {
        std::string_view schedule = text.substr(at + 1);
        text = text.substr(0, at);
        if (const auto tilde = schedule.find('~'); tilde != std::string_view::npos) {
            const auto flutter = parseNumber<double>(schedule.substr(tilde + 1));
            if (!flutter || *flutter < 0) return std::nullopt;
            carrier.flutterDb = *flutter;
            schedule = schedule.substr(0, tilde);
        }
        const auto sweeps = split(schedule, "-");
        if (sweeps.size() != 2) return std::nullopt;
        const auto from = parseNumber<int>(sweeps[0]);
        const auto until = parseNumber<int>(sweeps[1]);
        if (!from || !until || *from < 0 || *until <= *from) return std::nullopt;
        carrier.fromSweep = *from;
        carrier.untilSweep = *until;
    }
    const auto parts = split(text, ":");
    if (parts.size() < 2 || parts.size() > 3) return std::nullopt;
    const auto channel = parseNumber<int>(parts[0]);
    const auto level = parseNumber<double>(parts[1]);
    const auto width = parts.size() == 3 ? parseNumber<double>(parts[2]) : 1.0;
    if (!channel || *channel < 0 || *channel > 255 || !level || !width || *width <= 0.0) {
        return std::nullopt;
    }
    carrier.channel = *channel;
    carrier.levelDb = *level;
    carrier.widthChannels = *width;
    return carrier;
}

std::optional<Hopper> parseHopper(std::string_view text) {
    const auto parts = split(text, ":");
    if (parts.size() < 2 || parts.size() > 3) return std::nullopt;
    const auto period = parseMillis(parts[0]);
    const auto level = parseNumber<double>(parts[1]);
    if (!period || period->count() == 0 || !level) return std::nullopt;
    Hopper hopper;
    hopper.period = *period;
    hopper.levelDb = *level;
    if (parts.size() == 3) {
        const auto range = split(parts[2], "-");
        if (range.size() != 2) return std::nullopt;
        const auto first = parseNumber<int>(range[0]);
        const auto last = parseNumber<int>(range[1]);
        if (!first || !last || *first < 0 || *last > 255 || *first > *last) return std::nullopt;
        hopper.firstChannel = *first;
        hopper.lastChannel = *last;
    }
    return hopper;
}

std::optional<ScheduledFault> parseScheduledFault(std::string_view text) {
    const auto parts = split(text, ":");
    if (parts.size() > 3) return std::nullopt;
    const auto kind = faultFromName(parts[0]);
    if (!kind) return std::nullopt;
    ScheduledFault fault{*kind, 0, 1};
    if (parts.size() >= 2) {
        const auto after = parseNumber<std::uint64_t>(parts[1]);
        if (!after) return std::nullopt;
        fault.after = *after;
    }
    if (parts.size() == 3) {
        const auto count = parseNumber<std::uint64_t>(parts[2]);
        if (!count) return std::nullopt;
        fault.count = *count;
    }
    return fault;
}

// "KIND" or "all" with a probability: the kinds it names.
std::optional<std::vector<FaultKind>> parseFaultSet(std::string_view name) {
    if (name == "all") return std::vector<FaultKind>(kReplyFaults.begin(), kReplyFaults.end());
    if (const auto kind = faultFromName(name)) return std::vector<FaultKind>{*kind};
    return std::nullopt;
}

std::string faultList() {
    std::string names;
    for (FaultKind kind : kAllFaultKinds) {
        if (!names.empty()) names += ", ";
        names += faultName(kind);
    }
    return names;
}

// Applies one option with its value; returns an error text or empty.
std::string applyOption(std::string_view name, std::string_view value, SimOptions& options) {
    const auto bad = [&] {
        return "invalid value '" + std::string(value) + "' for --" + std::string(name);
    };
    if (name == "link") {
        if (value.empty()) return bad();
        options.linkPath = value;
    } else if (name == "by-id") {
        // A NAME never holds a slash, so a colon in the folder's path stays there.
        const std::size_t colon = value.rfind(':');
        const bool named =
            colon != std::string_view::npos && value.find('/', colon) == std::string_view::npos;
        options.byIdFolder = value.substr(0, named ? colon : value.size());
        options.byIdName = named ? value.substr(colon + 1) : kDefaultByIdName;
        if (options.byIdFolder.empty() || options.byIdName.empty()) return bad();
    } else if (name == "log") {
        if (value.empty()) return bad();
        options.logPath = value;
    } else if (name == "sweep-log") {
        if (value.empty()) return bad();
        options.sweepLogPath = value;
    } else if (name == "version-text") {
        if (value.empty() || value.front() != 'V') return bad();
        options.radio.version = std::string(value) + '\r';
    } else if (name == "replay") {
        if (value.empty()) return bad();
        options.replayPath = value;
    } else if (name == "seed") {
        const auto seed = parseNumber<std::uint32_t>(value);
        if (!seed) return bad();
        options.scene.seed = *seed;
        options.radio.seed = *seed;
    } else if (name == "noise-floor") {
        const auto floor = parseNumber<double>(value);
        if (!floor) return bad();
        options.scene.noiseFloorDb = *floor;
    } else if (name == "noise-spread") {
        const auto spread = parseNumber<double>(value);
        if (!spread || *spread < 0.0) return bad();
        options.scene.noiseSpreadDb = *spread;
    } else if (name == "carrier") {
        const auto carrier = parseCarrier(value);
        if (!carrier) return bad() + " (expected CH:LEVEL[:WIDTH][@FROM-UNTIL[~DB]])";
        options.scene.carriers.push_back(*carrier);
    } else if (name == "hopper") {
        const auto hopper = parseHopper(value);
        if (!hopper) return bad() + " (expected PERIOD_MS:LEVEL[:FIRST-LAST])";
        options.scene.hopper = *hopper;
    } else if (name == "baud") {
        const auto baud = parseNumber<int>(value);
        if (!baud || *baud < 0) return bad();
        options.radio.pacing.baud = *baud;
    } else if (name == "latency-ms") {
        const auto latency = parseMillis(value);
        if (!latency) return bad();
        options.radio.pacing.latency = *latency;
    } else if (name == "fault") {
        const auto fault = parseScheduledFault(value);
        if (!fault)
            return bad() + " (expected KIND[:AFTER[:COUNT]], KIND one of " + faultList() + ")";
        options.radio.faults.scheduled.push_back(*fault);
    } else if (name == "fault-prob") {
        const auto parts = split(value, ":");
        const auto kinds = parts.size() == 2 ? parseFaultSet(parts[0]) : std::nullopt;
        const auto probability = parts.size() == 2 ? parseProbability(parts[1]) : std::nullopt;
        if (!kinds || !probability) return bad() + " (expected KIND:P with P in 0..1)";
        for (FaultKind kind : *kinds) {
            options.radio.faults.probability[static_cast<std::size_t>(kind)] = *probability;
        }
    } else if (name == "dead-ms" || name == "pause-ms" || name == "vanish-ms") {
        const auto millis = parseMillis(value);
        if (!millis) return bad();
        if (name == "dead-ms") options.radio.faults.deadFor = *millis;
        if (name == "pause-ms") options.radio.faults.pause = *millis;
        if (name == "vanish-ms") options.radio.faults.vanishFor = *millis;
    } else {
        return "unknown option --" + std::string(name);
    }
    return {};
}

}  // namespace

std::string_view helpText() {
    return kHelp;
}

std::span<const std::string_view> optionNames() {
    return kOptionNames;
}

OptionsResult parseOptions(std::span<const std::string> args) {
    SimOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if (arg == "-h") arg = "--help";
        if (!arg.starts_with("--")) return {std::nullopt, "unexpected argument '" + args[i] + "'"};
        arg.remove_prefix(2);
        std::string_view name = arg;
        std::optional<std::string_view> value;
        if (const auto equals = arg.find('='); equals != std::string_view::npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
        }
        if (std::find(kOptionNames.begin(), kOptionNames.end(), name) == kOptionNames.end()) {
            return {std::nullopt, "unknown option --" + std::string(name)};
        }
        if (name == "help") {
            if (value) return {std::nullopt, "--help takes no value"};
            options.help = true;
            continue;
        }
        if (name == "version") {
            if (value) return {std::nullopt, "--version takes no value"};
            options.version = true;
            continue;
        }
        // The hopper's value is optional: a bare --hopper takes the defaults.
        if (!value && name == "hopper" && (i + 1 >= args.size() || args[i + 1].starts_with("-"))) {
            options.scene.hopper = Hopper{};
            continue;
        }
        if (!value) {
            if (i + 1 >= args.size()) {
                return {std::nullopt, "--" + std::string(name) + " needs a value"};
            }
            value = args[++i];
        }
        if (std::string error = applyOption(name, *value, options); !error.empty()) {
            return {std::nullopt, error};
        }
    }
    const SceneConfig plain;
    const SceneConfig& scene = options.scene;
    if (!options.replayPath.empty() &&
        (!scene.carriers.empty() || scene.hopper || scene.noiseFloorDb != plain.noiseFloorDb ||
         scene.noiseSpreadDb != plain.noiseSpreadDb)) {
        return {std::nullopt,
                "--replay takes its levels from the file: no --carrier, --hopper, "
                "--noise-floor or --noise-spread with it"};
    }
    return {options, {}};
}

ControlResult parseControl(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
    while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
    if (line.empty()) return {};
    std::vector<std::string_view> words;
    for (std::string_view word : split(line, " ")) {
        if (!word.empty()) words.push_back(word);
    }
    const std::string_view verb = words.front();
    const std::size_t argCount = words.size() - 1;
    const auto usage = [](std::string_view text) {
        return ControlResult{std::nullopt, "usage: " + std::string(text)};
    };
    ControlCommand command;
    if (verb == "dead") {
        const auto millis = argCount == 1 ? parseMillis(words[1]) : std::nullopt;
        if (!millis) return usage("dead MS");
        command.kind = ControlCommand::Kind::Dead;
        command.duration = *millis;
    } else if (verb == "fault") {
        const auto kind = argCount >= 1 ? faultFromName(words[1]) : std::nullopt;
        const auto count =
            argCount == 2 ? parseNumber<std::uint64_t>(words[2]) : std::optional<std::uint64_t>{1};
        if (!kind || !count || argCount > 2) return usage("fault KIND [COUNT]");
        command.kind = ControlCommand::Kind::Fault;
        command.faults = {*kind};
        command.count = *count;
    } else if (verb == "fault-prob") {
        const auto kinds = argCount == 2 ? parseFaultSet(words[1]) : std::nullopt;
        const auto probability = argCount == 2 ? parseProbability(words[2]) : std::nullopt;
        if (!kinds || !probability) return usage("fault-prob KIND P");
        command.kind = ControlCommand::Kind::FaultProb;
        command.faults = *kinds;
        command.probability = *probability;
    } else {
        static constexpr std::array<std::pair<std::string_view, ControlCommand::Kind>, 5> kPlain = {
            {{"alive", ControlCommand::Kind::Alive},
             {"vanish", ControlCommand::Kind::Vanish},
             {"return", ControlCommand::Kind::Return},
             {"stats", ControlCommand::Kind::Stats},
             {"clear", ControlCommand::Kind::Clear}}};
        const auto* found = std::find_if(kPlain.begin(), kPlain.end(),
                                         [&](const auto& entry) { return entry.first == verb; });
        if (found == kPlain.end()) {
            return {std::nullopt, "unknown command '" + std::string(verb) + "'"};
        }
        if (argCount != 0) return usage(std::string(verb));
        command.kind = found->second;
    }
    return {command, {}};
}

}  // namespace kv::sim
