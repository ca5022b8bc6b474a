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

constexpr std::string_view kHelp = R"(Usage: kv3710-analyzer [OPTION]... [FILE]
Spectrum analyzer for the KV3710 radio module on a serial port. It opens the port named
in its settings, sweeps the radio's channels and draws the live trace; see kv3710-analyzer(1).
With FILE, a sweep log (.csv or .csv.gz), it shows that recording instead and sends nothing
to the radio.

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
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help") return {Request::Help, {}, {}};
        if (arg == "--version") return {Request::Version, {}, {}};
        // An empty argument is an argument too, and has no dash to take off.
        if (arg.empty()) return {Request::Error, "an empty FILE", {}};
        if (!arg.starts_with('-')) {
            if (!line.recording.empty())
                return {Request::Error, "unknown argument '" + std::string(arg) + "'", {}};
            line.recording = arg;
            continue;
        }
        const std::string_view name = arg.substr(arg.starts_with("--") ? 2 : 1);
        const auto qt = std::find_if(kQtOptions.begin(), kQtOptions.end(),
                                     [name](const QtOption& o) { return o.name == name; });
        if (qt == kQtOptions.end())
            return {Request::Error, "unknown option '" + std::string(arg) + "'", {}};
        if (qt->takesValue && ++i >= argc)
            return {Request::Error, "option '" + std::string(argv[i - 1]) + "' needs a value", {}};
    }
    return line;
}

}  // namespace kv
