// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace kv {

// What the analyzer's command line asks for.
struct CommandLine {
    enum class Request { Run, Help, Version, Error };
    Request request = Request::Run;
    std::string error;      // one line, set for Error
    std::string recording;  // a sweep log to show instead of the radio; empty for none
};

// Read before QApplication exists, so --help and --version work without a display. The Qt
// options are accepted and left in argv for QApplication.
CommandLine parseArguments(int argc, char** argv);
std::string_view helpText();

}  // namespace kv
