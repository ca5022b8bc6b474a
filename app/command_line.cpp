// SPDX-License-Identifier: GPL-3.0-or-later
#include "command_line.h"

#include <algorithm>
#include <array>

namespace kv {

namespace {

// The options QApplication takes itself, and whether each needs a value; they are passed on.
struct QtOption {
    std::string_view name;
    bool takesValue;
};
constexpr std::array<QtOption, 17> kQtOptions = {{
    {"platform", true},
    {"platformpluginpath", true},
    {"platformtheme", true},
    {"plugin", true},
    {"display", true},
    {"geometry", true},
    {"qwindowgeometry", true},
    {"qwindowtitle", true},
    {"qwindowicon", true},
    {"name", true},
    {"style", true},
    {"stylesheet", true},
    {"session", true},
    {"reverse", false},
    {"sync", false},
    {"nograb", false},
    {"dograb", false},
}};

// The options that watch a site, each with a value ("--name VALUE" or "--name=VALUE").
constexpr std::array<std::string_view, 4> kSiteOptions = {"--mqtt", "--radio", "--mqtt-cafile",
                                                          "--mqtt-password-file"};

constexpr std::string_view kHelp = R"(Usage: kv3710-analyzer [OPTION]... [FILE]
Spectrum analyzer for the KV3710 radio module on a serial port. It opens the port named
in its settings, sweeps the radio's channels and draws the live trace; see kv3710-analyzer(1).
With FILE, a sweep log (.csv or .csv.gz), it shows that recording instead and sends nothing
to the radio.

  --mqtt URL            watch the radios a site's kv3710-power loggers publish to the
                        broker at mqtt[s]://[USER@]HOST[:PORT][/PREFIX] (port 1883, 8883
                        for mqtts://, prefix kv3710) instead of the radio on the port, to
                        which nothing is sent; USER's password comes from
                        KV3710_MQTT_PASSWORD or --mqtt-password-file
  --radio NAME          with --mqtt: show that radio's sweeps at once
  --mqtt-cafile FILE    with mqtts://: the CA certificate to trust the broker by
  --mqtt-password-file FILE
                        with a USER: the password is the file's first line
  -h, --help            show this text and exit
  --version             show the version and exit

Qt options, passed on to Qt (one or two dashes):
  -platform NAME        window system plugin (xcb, wayland, offscreen, ...)
  -display DISPLAY      X display to use
  -geometry WxH+X+Y     window size and position (also -qwindowgeometry)
  -style NAME, -stylesheet FILE, -reverse, -qwindowtitle TITLE, -qwindowicon FILE,
  -name NAME, -session ID, -platformtheme NAME, -platformpluginpath DIR, -plugin NAME,
  -sync, -nograb, -dograb

Exit status: 0 normally, 2 for a bad command line.
)";

}  // namespace

std::string_view helpText() {
    return kHelp;
}

CommandLine parseArguments(int argc, char** argv) {
    using Request = CommandLine::Request;
    CommandLine line;
    const auto answer = [](Request request, std::string text = {}) {
        CommandLine only;
        only.request = request;
        only.error = std::move(text);
        return only;
    };
    const auto error = [&](std::string text) { return answer(Request::Error, std::move(text)); };
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help") return answer(Request::Help);
        if (arg == "--version") return answer(Request::Version);
        if (const auto site = std::find_if(
                kSiteOptions.begin(), kSiteOptions.end(),
                [arg](std::string_view o) { return arg.substr(0, arg.find('=')) == o; });
            site != kSiteOptions.end()) {
            std::string value;
            if (arg.size() > site->size()) {
                value = arg.substr(site->size() + 1);
            } else if (++i < argc) {
                value = argv[i];
            } else {
                return error("option '" + std::string(arg) + "' needs a value");
            }
            if (*site == "--mqtt") {
                mqtt::MqttUrl url;
                if (const std::string why = mqtt::parseMqttUrl(value, url); !why.empty())
                    return error(why == mqtt::kPasswordInUrl ? why : "--mqtt: " + why);
                line.mqtt = url;
            } else if (value.empty() || (*site == "--radio" && !mqtt::isTopicLevel(value))) {
                return error("invalid value '" + value + "' for " + std::string(*site));
            } else {
                (*site == "--radio"         ? line.radio
                 : *site == "--mqtt-cafile" ? line.caFile
                                            : line.passwordFile) = value;
            }
            continue;
        }
        // An empty argument is an argument too, and has no dash to take off.
        if (arg.empty()) return error("an empty FILE");
        if (!arg.starts_with('-')) {
            if (!line.recording.empty())
                return error("unknown argument '" + std::string(arg) + "'");
            line.recording = arg;
            continue;
        }
        const std::string_view name = arg.substr(arg.starts_with("--") ? 2 : 1);
        const auto qt = std::find_if(kQtOptions.begin(), kQtOptions.end(),
                                     [name](const QtOption& o) { return o.name == name; });
        if (qt == kQtOptions.end()) return error("unknown option '" + std::string(arg) + "'");
        if (qt->takesValue && ++i >= argc)
            return error("option '" + std::string(argv[i - 1]) + "' needs a value");
    }
    if (line.mqtt && !line.recording.empty()) return error("a FILE or --mqtt, not both");
    if ((line.radio || line.caFile || line.passwordFile) && !line.mqtt)
        return error("--radio, --mqtt-cafile and --mqtt-password-file need --mqtt");
    if (line.caFile && !line.mqtt->tls) return error("--mqtt-cafile needs an mqtts:// URL");
    if (line.passwordFile && !line.mqtt->user)
        return error("--mqtt-password-file needs a user in the URL (mqtt://USER@HOST)");
    return line;
}

}  // namespace kv
