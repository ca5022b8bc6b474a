// SPDX-License-Identifier: GPL-3.0-or-later
#include "port_problem.h"

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string_view>

namespace kv {

namespace {

// Where serial programs leave their lock files, in the order QSerialPort looks.
constexpr std::array<std::string_view, 6> kLockFolders{
    "/var/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp", "/tmp", "/run/lock"};

std::string userName() {
    const passwd* user = ::getpwuid(::getuid());
    return user ? user->pw_name : "$USER";
}

std::string realDevice(const std::string& device) {
    std::error_code error;
    const auto target = std::filesystem::canonical(device, error);
    return error ? device : target.string();
}

}  // namespace

OpenFailure classifyOpenErrno(int error) {
    switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case ENOTDIR:
            return OpenFailure::Missing;
        case EBUSY:
        case EWOULDBLOCK:
            return OpenFailure::Busy;
        case EACCES:
        case EPERM:
        case EROFS:
            return OpenFailure::PermissionDenied;
        default:
            return OpenFailure::Other;
    }
}

long lockHolder(const std::string& node) {
    std::string name = node.starts_with("/dev/") ? node.substr(5) : node;
    for (char& c : name)
        if (c == '/') c = '_';
    for (const std::string_view folder : kLockFolders) {
        // The first line holds the process number, as text (a binary one is not read).
        std::ifstream file(std::string(folder) + "/LCK.." + name);
        long pid = 0;
        if (!(file >> pid) || pid <= 0) continue;
        // A lock left behind by a program that has ended names nobody.
        const bool running = ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
        return running ? pid : 0;
    }
    return 0;
}

PortProblem describeOpenFailure(OpenFailure failure, const std::string& device,
                                std::string detail) {
    PortProblem problem{failure, device, 0, {}, {}, std::move(detail)};
    const std::string node = realDevice(device);
    if (failure == OpenFailure::Busy) {
        problem.pid = lockHolder(node);
        std::ifstream comm("/proc/" + std::to_string(problem.pid) + "/comm");
        if (problem.pid > 0) std::getline(comm, problem.program);
    } else if (failure == OpenFailure::PermissionDenied) {
        struct stat info {};
        if (::stat(node.c_str(), &info) == 0) {
            const group* owner = ::getgrgid(info.st_gid);
            problem.group = owner ? owner->gr_name : std::to_string(info.st_gid);
        }
    }
    return problem;
}

std::string PortProblem::text() const {
    switch (failure) {
        case OpenFailure::None:
            return {};
        case OpenFailure::Missing:
            return device + " is missing: the device is not connected.";
        case OpenFailure::Busy: {
            std::string holder;
            if (pid > 0)
                holder = " (" + (program.empty() ? "" : program + ", ") + "process " +
                         std::to_string(pid) + ")";
            return device + " is in use by another program" + holder + ".";
        }
        case OpenFailure::PermissionDenied:
            if (group.empty()) return "Permission denied on " + device + ".";
            return "Permission denied on " + device + ", which belongs to the group " + group +
                   ". Add yourself to it with \"sudo usermod -aG " + group + " " + userName() +
                   "\" and log in again.";
        case OpenFailure::Other:
            break;
    }
    return device + ": " + detail;
}

}  // namespace kv
