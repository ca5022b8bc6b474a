// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "mqtt_url.h"

namespace kv {

// What the analyzer's command line asks for.
struct CommandLine {
    enum class Request { Run, Help, Version, Error };
    Request request = Request::Run;
    std::string error;      // one line, set for Error
    std::string recording;  // a sweep log to show instead of the radio; empty for none
    // --mqtt URL: the window watches that site instead of the radio on the port.
    std::optional<mqtt::MqttUrl> mqtt;
    std::optional<std::string> radio;         // --radio NAME: the site's radio shown first
    std::optional<std::string> caFile;        // --mqtt-cafile FILE
    std::optional<std::string> passwordFile;  // --mqtt-password-file FILE
};

// Read before QApplication exists, so --help and --version work without a display. The Qt
// options are accepted and left in argv for QApplication.
CommandLine parseArguments(int argc, char** argv);
std::string_view helpText();

}  // namespace kv
