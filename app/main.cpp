// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QIcon>
#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>

#include "clock.h"
#include "ini_settings_backend.h"
#include "main_window.h"
#include "qt_common_dialogs.h"
#include "qt_event_loop.h"
#include "qt_message_box.h"
#include "serial_comm.h"
#include "serial_ports.h"
#include "termination_signals.h"

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

constexpr std::string_view kHelp = R"(Usage: kv3710-analyzer [OPTION]...
Spectrum analyzer for the KV3710 radio module on a serial port. It opens the port named
in its settings, sweeps the radio's channels and draws the live trace; see kv3710-analyzer(1).

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

enum class Request { Run, Help, Version, Error };

// Read before QApplication exists, so --help and --version work without a display.
Request parseArguments(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help") return Request::Help;
        if (arg == "--version") return Request::Version;
        std::string_view name = arg.substr(arg.starts_with("--") ? 2 : 1);
        const auto qt = std::find_if(kQtOptions.begin(), kQtOptions.end(),
                                     [name](const QtOption& o) { return o.name == name; });
        if (!arg.starts_with('-') || qt == kQtOptions.end()) {
            std::fprintf(stderr, "kv3710-analyzer: unknown %s '%s'\n",
                         arg.starts_with('-') ? "option" : "argument", argv[i]);
        } else if (qt->takesValue && ++i >= argc) {
            std::fprintf(stderr, "kv3710-analyzer: option '%s' needs a value\n", argv[i - 1]);
        } else {
            continue;
        }
        std::fputs("Try 'kv3710-analyzer --help'.\n", stderr);
        return Request::Error;
    }
    return Request::Run;
}

}  // namespace

int main(int argc, char** argv) {
    switch (parseArguments(argc, argv)) {
        case Request::Help:
            std::fwrite(kHelp.data(), 1, kHelp.size(), stdout);
            return 0;
        case Request::Version:
            std::printf("kv3710-analyzer %s\n", KV_VERSION);
            return 0;
        case Request::Error:
            return 2;
        case Request::Run:
            break;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral(KV_VERSION));
    // Lets task bars and docks match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(KV_APP_ID));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/" KV_APP_ID ".png")));
    kv::IniSettingsBackend store;
    kv::SystemSerialDetector detector;
    kv::SerialComm comm(store, detector);
    kv::QtEventLoop loop;
    kv::SystemClock clock;
    kv::QtMessageBox messages;
    kv::QtCommonDialogs dialogs;
    kv::MainWindow window({store, comm, detector, loop, clock, messages, dialogs,
                           QCoreApplication::applicationDirPath().toStdString()});
    if (window.load() == kv::MainWindow::LoadOutcome::Quit) return 0;
    kv::TerminationSignals termination([&window] { window.close(); });
    window.show();
    return QApplication::exec();
}
