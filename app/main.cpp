// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QIcon>
#include <cstdio>

#include "clock.h"
#include "command_line.h"
#include "ini_settings_backend.h"
#include "main_window.h"
#include "qt_common_dialogs.h"
#include "qt_event_loop.h"
#include "qt_message_box.h"
#include "serial_comm.h"
#include "serial_ports.h"
#include "termination_signals.h"

int main(int argc, char** argv) {
    const kv::CommandLine line = kv::parseArguments(argc, argv);
    switch (line.request) {
        case kv::CommandLine::Request::Help:
            std::fwrite(kv::helpText().data(), 1, kv::helpText().size(), stdout);
            return 0;
        case kv::CommandLine::Request::Version:
            std::printf("kv3710-analyzer %s\n", KV_VERSION);
            return 0;
        case kv::CommandLine::Request::Error:
            std::fprintf(stderr, "kv3710-analyzer: %s\nTry 'kv3710-analyzer --help'.\n",
                         line.error.c_str());
            return 2;
        case kv::CommandLine::Request::Run:
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
    if (line.mqtt) {
        // Before the load, so that the port is never opened: nothing goes to the radio.
        kv::SiteAddress site{*line.mqtt, line.caFile.value_or(""), std::nullopt};
        std::string error;
        if (kv::mqtt::readMqttPassword(line.passwordFile, line.mqtt->user.has_value(),
                                       site.password, error))
            error = window.watchSite(std::move(site), line.radio);
        if (!error.empty()) {
            std::fprintf(stderr, "kv3710-analyzer: %s\n", error.c_str());
            return 2;
        }
    }
    // Taken from here on, so a request during the opening of a recording ends the program
    // as one after it does.
    kv::TerminationSignals termination([&window] {
        window.close();
        // Every loop ends, a nested one too: the program never outlives a termination request.
        QCoreApplication::exit(0);
    });
    // Watched from before the load, the port is never opened and the radio never touched.
    if (!line.recording.empty()) window.openRecording(line.recording);
    if (window.load() == kv::MainWindow::LoadOutcome::Quit) return 0;
    window.show();
    return QApplication::exec();
}
