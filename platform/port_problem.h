// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace kv {

enum class OpenFailure { None, Missing, Busy, PermissionDenied, Other };

// Why a serial port did not open, for the user: the serial port dialog shows it, the logger
// prints it.
struct PortProblem {
    OpenFailure failure = OpenFailure::None;
    std::string device;   // the path the open was given
    long pid = 0;         // Busy: the program holding the port, where its lock file names it
    std::string program;  // Busy: that program's name, where the system tells it
    std::string group;    // PermissionDenied: the group the device belongs to
    std::string detail;   // the system's own words

    std::string text() const;
};

// What an errno value of a failed open means to the user.
OpenFailure classifyOpenErrno(int error);

// Fills in what the user needs for `failure` on `device`: the holder named by the device's
// lock file (LCK..<name> in the system's lock folders) or the device's group.
PortProblem describeOpenFailure(OpenFailure failure, const std::string& device,
                                std::string detail = {});

// The process named by the lock file of the device at `node`, if it still runs; else 0.
long lockHolder(const std::string& node);

}  // namespace kv
