// SPDX-License-Identifier: GPL-3.0-or-later
#include "power_options.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

#include <QCommandLineParser>
#include <QStringList>

#include "parse_number.h"
#include "port_names.h"
#include "serial_setup.h"
#include "settings_store.h"
#include "spectrum_model.h"

namespace kv::power {

namespace {

constexpr std::string_view kHelp =
    R"(Usage: kv3710-power [OPTION]... [FILE]
Sweeps the KV3710 radio without a window and appends the band to FILE (standard output
for "-" or no FILE) as one CSV line per interval, the log format that waterfall and
heat-map tools read:

  date, time, Hz low, Hz high, Hz step, samples, dB, dB, ...

date and time (local) say when the interval began; Hz low is the frequency of the first
point, Hz step the distance between points and Hz high the upper edge of the band (Hz low
+ points x step); samples is the number of sweeps combined; then one level per point,
lowest frequency first, in whole dB as measured (a mean may have decimals), whatever the
reference level the analyzer's graph is set to.
Point i lies at center - span/2 + (i + 1) x span / (points + 1), as in the analyzer.

Where it sweeps (default: the analyzer's settings file, so it sweeps what the analyzer
shows; $XDG_CONFIG_HOME/KV3710 Spectrum Analyzer.exe.ini, [Settings] and [Ports]):
  --device PATH       the serial device to use
  --port COMn         the port by its number, mapped to a device as in the analyzer
  --baud N            the line rate (one of 110 300 1200 2400 4800 9600 14400 19200
                      28800 38400 57600 115200)
  --center MHz        centre frequency of the band
  --span MHz          width of the band
  --points N          number of points (radio channels 0 to N-1), 1 to 256

What it writes:
  -i SECONDS          one line per interval of SECONDS (24 days at most), combining its
                      sweeps into the mean of their power, written in dB: -50 and -90 dB
                      average to -53 dB, not -70 (default: one line per sweep)
  -P                  combine into the maximum instead of the mean
  -1                  write one line and exit
  -e DURATION         stop after DURATION: 30s, 15m, 2h (plain numbers are seconds;
                      24 days at most)
  -q                  no status line

Publishing over MQTT (QoS 1), for a broker that collects many radios:
  --mqtt URL          publish every line as one message to the broker at URL:
                      mqtt://[USER@]HOST[:PORT][/PREFIX] (port 1883, prefix kv3710), or
                      mqtts://... for TLS (port 8883). FILE is still written when it is
                      named ("-" for standard output); without one nothing is written
                      locally. Topics: PREFIX/RADIO/sweep, one JSON object per line
                      (time in UTC, seq from 0, hz_low, hz_high, hz_step, samples, db),
                      and PREFIX/RADIO/status, retained: online, or offline after a stop
                      (or, from the broker, when the logger vanished)
  --mqtt-cafile FILE  the certificates that sign the broker's (default: the system's)
  --mqtt-password-file FILE
                      USER's password, the file's first line; or $KV3710_MQTT_PASSWORD
                      (never on the command line)
  --mqtt-queue N      messages kept while the broker is unreachable (default 10000);
                      past N the oldest are dropped, with one warning
  --radio-id NAME     RADIO in the topics (default: the serial number in the device's
                      /dev/serial/by-id name, else HOST-DEVICE)

An alarm when the band breaks a limit:
  --limit DB|FILE     the limit: one level in dB across the band, or a mask FILE of
                      "MHz, dB" corners, one a line in rising frequency ('#' starts a
                      comment), joined by straight lines and held beyond its ends. A
                      mask that is not so is refused whole, with its line and why
  --alarm-hold N      the alarm is raised after N sweeps in a row with a point above
                      the limit, and cleared after N sweeps in a row with every point
                      at least --alarm-clear below it (default 3)
  --alarm-clear DB    the clearing margin (default 3 dB): a carrier that flutters about
                      the limit by less neither ends an alarm nor starts a new one
Each change of the alarm is one line on standard error and, with --mqtt, a retained
message on PREFIX/RADIO/alarm: active, since (UTC), peak_hz, peak_db, excess_db, points
(the indexes above), occupancy (per point the share of sweeps above the limit, since the
start or over the -i interval); a clean stop sets it to active false.

  --help              show this text and exit
  --version           show the version and exit

Every line is written whole with one write, so a killed logger leaves no half line. A line
that does not fit (a full disk) is taken back whole and lost: sweeping and publishing go
on, one message on standard error says so, each later line is tried again, and the exit
status is then 1. While standard error is a terminal (and without -q) one status line there shows the
sweeps, the sweep period, the lines written and the failures recovered.

When the radio does not answer it is brought back into command mode exactly as the
analyzer does it, with one message on standard error for each failure episode; logging
goes on once it answers. A sweep in which any point failed is left out of its interval
(samples counts only complete sweeps), and an interval without a complete sweep writes
no line. A device that vanishes is reopened about once a second.

Ctrl-C, SIGTERM or the end of -e finish the exchange in progress, write the sweeps of an
unfinished interval as a last line, take the radio out of command mode, close the port
and exit with 0 (1 when lines were lost); with --mqtt they publish the retained offline
and give the broker a few seconds to acknowledge what is queued. Bad options (a bad URL,
a CA or password file that cannot be read) or a port that cannot be opened: a message and
exit code 2, with nothing sent to the radio. A broker that is unreachable or refuses the
login is said once on standard error and tried again, after 1 s, then 2, 4, ... up to
30 s; the sweep never waits for it.

Example: sweep 902 to 928 MHz in 50 points on /dev/ttyUSB0, one line of maxima a minute
for two hours:
  kv3710-power --device /dev/ttyUSB0 --center 915 --span 26 --points 50 -i 60 -P \
      -e 2h band.csv
)";

// The longest interval and run: a timer of int milliseconds ends a run, and an interval is
// added to the steady clock's time.
constexpr double kLongestSeconds = std::numeric_limits<int>::max() / 1000.0;

constexpr int kMaxAlarmHold = 100000;
constexpr double kMaxAlarmClearDb = 100;

// Options that take a value: long ones by name, short ones by letter.
constexpr std::array<std::string_view, 16> kValueOptions = {"device",
                                                            "port",
                                                            "baud",
                                                            "center",
                                                            "span",
                                                            "points",
                                                            "i",
                                                            "e",
                                                            "mqtt",
                                                            "mqtt-cafile",
                                                            "mqtt-password-file",
                                                            "mqtt-queue",
                                                            "radio-id",
                                                            "limit",
                                                            "alarm-hold",
                                                            "alarm-clear"};
constexpr std::array<std::string_view, 5> kFlagOptions = {"P", "1", "q", "help", "version"};

bool takesValue(std::string_view name) {
    return std::find(kValueOptions.begin(), kValueOptions.end(), name) != kValueOptions.end();
}

// Latin-1 keeps every byte of an argument through QString and back, also where it is no UTF-8
// (a device path).
QString toQString(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string toBytes(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

// What the logger says about an argument in the place of an option that is none of its
// forms: "--NAME", "--NAME=VALUE" (NAME two letters or more), "-X" and "-XVALUE".
std::string misfit(std::string_view arg) {
    if (arg.starts_with("--") && arg.size() > 2) {
        const std::string_view name = arg.substr(2, arg.find('=') - 2);
        if (name.size() == 1) return "unknown option " + std::string(arg);
        if (name.size() + 2 < arg.size()) return std::string(arg) + " takes no value";
        return "unknown option --" + std::string(name);
    }
    return "unknown option " + std::string(arg);
}

using mqtt::isTopicLevel;
using mqtt::kPasswordInUrl;
using mqtt::parseMqttUrl;

std::string applyOption(std::string_view name, std::string_view value, PowerOptions& options) {
    const std::string dashes = name.size() == 1 ? "-" : "--";
    const auto bad = [&] {
        return "invalid value '" + std::string(value) + "' for " + dashes + std::string(name);
    };
    if (name == "device") {
        if (value.empty()) return bad();
        options.device = std::string(value);
    } else if (name == "port") {
        std::string_view number = value;
        if (number.size() > 3 && (number.substr(0, 3) == "COM" || number.substr(0, 3) == "com")) {
            number.remove_prefix(3);
        }
        const auto n = parseNumber<int>(number);
        if (!n || *n < 1 || *n > kHighestPortNumber) return bad() + " (expected COMn)";
        options.port = *n;
    } else if (name == "baud") {
        const auto rate = parseNumber<int>(value);
        if (!rate || std::find(kRateList.begin(), kRateList.end(), std::to_string(*rate)) ==
                         kRateList.end()) {
            return bad();
        }
        options.baud = *rate;
    } else if (name == "center" || name == "span") {
        const auto mhz = parseNumber<float>(value);
        if (!mhz || (name == "span" && *mhz <= 0)) return bad();
        (name == "center" ? options.centerMHz : options.spanMHz) = *mhz;
    } else if (name == "points") {
        const auto points = parseNumber<int>(value);
        if (!points || *points < 1 || *points > kMaxPoints) {
            return bad() + " (1 to " + std::to_string(kMaxPoints) + ")";
        }
        options.points = *points;
    } else if (name == "i") {
        const auto seconds = parseNumber<double>(value);
        if (!seconds || *seconds <= 0 || *seconds > kLongestSeconds) return bad();
        options.intervalSeconds = *seconds;
    } else if (name == "e") {
        const auto duration = parseDuration(value);
        if (!duration) return bad() + " (e.g. 30s, 15m, 2h)";
        options.duration = *duration;
    } else if (name == "mqtt") {
        MqttUrl url;
        if (std::string why = parseMqttUrl(value, url); !why.empty()) {
            // Not said again where it would end up in a log.
            return why == kPasswordInUrl ? why : bad() + " (" + why + ")";
        }
        options.mqtt = url;
    } else if (name == "mqtt-cafile" || name == "mqtt-password-file") {
        if (value.empty()) return bad();
        (name == "mqtt-cafile" ? options.mqttCaFile : options.mqttPasswordFile) =
            std::string(value);
    } else if (name == "mqtt-queue") {
        const auto count = parseNumber<int>(value);
        if (!count || *count < 1 || *count > 1000000) return bad() + " (1 to 1000000)";
        options.mqttQueue = static_cast<std::size_t>(*count);
    } else if (name == "radio-id") {
        if (!isTopicLevel(value)) return bad() + " (no /, +, # or blank)";
        options.radioId = std::string(value);
    } else if (name == "limit") {
        if (value.empty()) return bad();
        if (const auto db = parseNumber<double>(value)) {
            options.limitDb = *db;
        } else {
            options.limitFile = std::string(value);
        }
    } else if (name == "alarm-hold") {
        const auto hold = parseNumber<int>(value);
        if (!hold || *hold < 1 || *hold > kMaxAlarmHold)
            return bad() + " (1 to " + std::to_string(kMaxAlarmHold) + ")";
        options.alarmHold = *hold;
    } else if (name == "alarm-clear") {
        const auto db = parseNumber<double>(value);
        if (!db || *db < 0 || *db > kMaxAlarmClearDb) return bad() + " (0 to 100 dB)";
        options.alarmClearDb = *db;
    } else if (name == "P") {
        options.peak = true;
    } else if (name == "1") {
        options.once = true;
    } else if (name == "q") {
        options.quiet = true;
    } else if (name == "help") {
        options.help = true;
    } else if (name == "version") {
        options.version = true;
    } else {
        return "unknown option " + dashes + std::string(name);
    }
    return {};
}

}  // namespace

std::optional<std::chrono::milliseconds> parseDuration(std::string_view text) {
    double unit = 1.0;
    if (!text.empty()) {
        switch (text.back()) {
            case 's':
                text.remove_suffix(1);
                break;
            case 'm':
                unit = 60.0;
                text.remove_suffix(1);
                break;
            case 'h':
                unit = 3600.0;
                text.remove_suffix(1);
                break;
            default:
                break;
        }
    }
    const auto value = parseNumber<double>(text);
    if (!value || *value <= 0) return std::nullopt;
    const double millis = std::ceil(*value * unit * 1000.0);
    if (millis > kLongestSeconds * 1000.0) return std::nullopt;
    return std::chrono::milliseconds{static_cast<std::int64_t>(millis)};
}

std::string_view helpText() {
    return kHelp;
}

OptionsResult parseOptions(std::span<const std::string> args) {
    QCommandLineParser parser;
    for (std::string_view name : kValueOptions)
        parser.addOption({toQString(name), QString(), QStringLiteral("value")});
    for (std::string_view name : kFlagOptions)
        parser.addOption(QCommandLineOption(toQString(name)));
    PowerOptions options;
    // The parser splits one option (with the next argument when it takes that as its value) at
    // a time: the first mistake on the line is the one reported, and the forms it accepts
    // beyond the logger's (-P1, --i, "--" before FILE) stay mistakes.
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        QStringList words{QStringLiteral("kv3710-power"), toQString(arg)};
        bool clean = parser.parse(words);
        const auto valueMissing = [&] {
            const QStringList names = parser.optionNames();
            return names.size() == 1 && takesValue(toBytes(names.front())) &&
                   parser.values(names.front()).isEmpty();
        };
        if (valueMissing() && i + 1 < args.size()) {
            words.append(toQString(args[++i]));
            clean = parser.parse(words);
        }
        if (const QStringList files = parser.positionalArguments(); !files.isEmpty()) {
            if (options.outputNamed)
                return {std::nullopt, "more than one output file: " + std::string(arg)};
            options.output = toBytes(files.front());
            options.outputNamed = true;
            continue;
        }
        const QStringList names = parser.optionNames();
        const std::string name = names.size() == 1 ? toBytes(names.front()) : std::string();
        const bool fits =
            names.size() == 1 && parser.unknownOptionNames().isEmpty() &&
            (clean || valueMissing()) &&
            (arg.starts_with("--") ? name.size() > 1 : arg.size() == 2 || takesValue(name));
        if (!fits) return {std::nullopt, misfit(arg)};
        if (valueMissing()) return {std::nullopt, std::string(arg) + " needs a value"};
        std::string value = takesValue(name) ? toBytes(parser.value(names.front())) : "";
        // The parser drops the '=' of "-i=5"; the logger takes it as part of the value.
        if (!arg.starts_with("--") && arg.size() > 2 && arg[2] == '=') value.insert(0, "=");
        if (std::string error = applyOption(name, value, options); !error.empty()) {
            return {std::nullopt, error};
        }
    }
    if (options.device && options.port) {
        return {std::nullopt, "--device and --port name the port twice: give one"};
    }
    const auto needs = [&](bool given, std::string_view option, bool met, std::string_view what) {
        return given && !met ? std::string(option) + " needs " + std::string(what) : std::string();
    };
    for (const std::string& error :
         {needs(options.mqttCaFile.has_value(), "--mqtt-cafile", options.mqtt && options.mqtt->tls,
                "an mqtts:// URL"),
          needs(options.mqttPasswordFile.has_value(), "--mqtt-password-file",
                options.mqtt && options.mqtt->user, "a user in the URL (mqtt://USER@HOST)"),
          needs(options.mqttQueue.has_value(), "--mqtt-queue", options.mqtt.has_value(), "--mqtt"),
          needs(options.radioId.has_value(), "--radio-id", options.mqtt.has_value(), "--mqtt"),
          needs(options.alarmHold.has_value(), "--alarm-hold", options.limitDb || options.limitFile,
                "--limit"),
          needs(options.alarmClearDb.has_value(), "--alarm-clear",
                options.limitDb || options.limitFile, "--limit")}) {
        if (!error.empty()) return {std::nullopt, error};
    }
    return {options, {}};
}

}  // namespace kv::power
